#include "settings/data_folder.h"

namespace vorda {

DataFolder chooseDataFolder(const StartDirectoryFacts& facts) {
    if (facts.holdsSettings || (facts.writable && !facts.programFolder && !facts.insideWindows)) {
        return DataFolder::StartDirectory;
    }
    return DataFolder::LocalAppData;
}

}  // namespace vorda

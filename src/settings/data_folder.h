// Where the settings file, the logs and the price history live: chosen once at start, from
// what the platform found out about the start directory.
#pragma once

namespace vorda {

// The data folder under the user's local application data ("%LOCALAPPDATA%\Vorda Cen").
constexpr const char* kLocalDataFolderName = "Vorda Cen";

struct StartDirectoryFacts {
    bool holdsSettings = false;  // the settings file is there already
    bool writable = false;       // a file can be created there
    bool programFolder = false;  // the folder of the program's own executable
    bool insideWindows = false;  // the Windows folder or a folder inside it
};

enum class DataFolder { StartDirectory, LocalAppData };

// The start directory when it holds the settings file (an existing installation or a
// portable copy goes on as it is); otherwise when it is writable and is neither the
// program's own folder nor inside the Windows folder; otherwise the local folder.
DataFolder chooseDataFolder(const StartDirectoryFacts& facts);

}  // namespace vorda

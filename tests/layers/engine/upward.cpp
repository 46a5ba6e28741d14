#include "settings/fine.h"
#include "controller/upward.h"

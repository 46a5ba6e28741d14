#include <win32/beside.h>

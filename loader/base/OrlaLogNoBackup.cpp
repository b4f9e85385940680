// Builds without the Windows file functions (the tests of portable code) keep the log file
// where it is: archiving needs the zip writer's Windows file layer.
#include "OrlaLog.h"

bool COrlaLog::BackupLog(const char*, uint64_t, const char*, const char*, bool) {
    return false;
}

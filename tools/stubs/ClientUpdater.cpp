// Stand-in for the loader's updater: records its start in "updater-start.txt" beside itself
// and ends.
#include <windows.h>

#include "StartRecord.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RecordStart("updater-start.txt") ? 0 : 1;
}

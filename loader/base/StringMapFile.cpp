// Reading key/value files into a CStringMap (Win32 file access).
#include "StringMap.h"

#include "Buf.h"
#include "FileSys.h"
#include "OrlaLog.h"

bool CStringMap::readFromFile(const char* path, char lineSeparator, char keySeparator, bool trim) {
    try {
        scoped_buf buffer;
        if (!CFileSys::LoadBinaryFileToBuffer(path, &buffer))
            return false;
        return readFromBuf(buffer, lineSeparator, keySeparator, trim);
    } catch (...) {
        return g_pLog->LogErrorFlag(false, "readFromFile exception !");
    }
}

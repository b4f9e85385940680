// Arbitrary bytes as a server's file list. An accepted list must survive writing and
// reading back, only safe names may pass, and a list compared with itself needs nothing.
#include <cstdint>
#include <cstdlib>

#include "Buf.h"
#include "PatchFilesEx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PatchFilesEx list;
    Buf buffer(const_cast<uint8_t*>(data), size);
    if (!list.FromXMLBuffer(buffer))
        return 0;
    for (const PatchFileEntry& entry : list.entries)
        if (!PatchFileEntry::IsSafeFileName(entry.fileName.c_str()))
            __builtin_trap();

    PatchFilesEx none;
    if (!list.Compare(&list, &none) || !none.entries.empty())
        __builtin_trap();

    Buf written;
    if (!list.ToXMLString(&written, size % 2 == 0))
        return 0;
    PatchFilesEx back;
    const bool read = back.FromXMLString(reinterpret_cast<const char*>(written.data));
    written.Free();
    if (!read || back.entries.size() != list.entries.size() ||
        back.serverVersion != list.serverVersion || back.infoMsg != list.infoMsg ||
        back.clientFiles64bit != list.clientFiles64bit)
        __builtin_trap();
    for (size_t i = 0; i < list.entries.size(); ++i)
        if (back.entries[i].fileName != list.entries[i].fileName ||
            back.entries[i].fileSize != list.entries[i].fileSize)
            __builtin_trap();
    return 0;
}

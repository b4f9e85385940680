// Checks the memory layout a host executable gets for Wine: loaded at its fixed base, the two
// reserved areas mapped readable, writable and zero-filled at their fixed addresses, nothing
// mapped below the first, and each area can be taken over as Wine's loader does. Prints each failed
// check; exit code 0 when all hold.
#include "WineLoaderClientConnection.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/mman.h>

extern "C" char wine_dos_area[];
extern "C" char wine_sharedheap_area[];

namespace {

int failures = 0;

void check(bool condition, const char* what) {
    if (!condition) {
        std::printf("failed: %s\n", what);
        ++failures;
    }
}

// The mapping that contains the address: its start, end and permissions, or an empty text.
std::string mappingAt(uintptr_t address, uintptr_t& start, uintptr_t& end) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        char dash;
        std::string permissions;
        fields >> std::hex >> start >> dash >> end >> permissions;
        if (address >= start && address < end)
            return permissions;
    }
    return {};
}

// The area is mapped as a whole (possibly in several adjacent mappings) and is rw.
bool mappedReadWrite(uintptr_t from, uintptr_t to) {
    for (uintptr_t address = from; address < to;) {
        uintptr_t start = 0, end = 0;
        if (mappingAt(address, start, end).compare(0, 2, "rw") != 0)
            return false;
        address = end;
    }
    return true;
}

} // namespace

int main() {
    const auto base = reinterpret_cast<uintptr_t>(&main);
    check(base >= 0x7BF00000 && base < 0x7F000000, "code above the fixed base 0x7BF00000");
    for (const auto& area : WineLoaderClientConnection::kReservedAreas) {
        check(mappedReadWrite(area.start, area.start + area.length),
              "reserved area mapped readable and writable");
        const char* bytes = reinterpret_cast<const char*>(area.start);
        check(bytes[0] == 0 && bytes[area.length - 1] == 0, "reserved area zero-filled");
    }
    check(reinterpret_cast<uintptr_t>(wine_dos_area) ==
              WineLoaderClientConnection::kReservedAreas[0].start,
          "DOS area where the table says");
    check(reinterpret_cast<uintptr_t>(wine_sharedheap_area) ==
              WineLoaderClientConnection::kReservedAreas[1].start,
          "shared heap where the table says");
    uintptr_t start = 0, end = 0;
    check(mappingAt(0x10000 - 1, start, end).empty(), "nothing mapped below 64 KiB");

    // What Wine's loader then does with each area: map it inaccessible at exactly its address.
    for (const auto& area : WineLoaderClientConnection::kReservedAreas) {
        void* start = reinterpret_cast<void*>(area.start);
        check(mmap(start, area.length, PROT_NONE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0) == start,
              "reserved area taken over at its address");
        uintptr_t mappedStart = 0, mappedEnd = 0;
        check(mappingAt(area.start, mappedStart, mappedEnd).compare(0, 3, "---") == 0 &&
                  mappedStart == area.start && mappedEnd == area.start + area.length,
              "taken-over area inaccessible as a whole");
    }
    return failures == 0 ? 0 : 1;
}

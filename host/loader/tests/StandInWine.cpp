// Test fixture standing in for Wine's library: records what the host handed over to
// "standin-wine.record" in the working folder wine_init finds, then ends the process, or
// returns the error text of STANDIN_WINE_INIT_ERROR. Built in variants that lack the mmap
// entry points or wine_init itself.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

namespace {

std::vector<std::string>& calls() {
    static std::vector<std::string> recorded;
    return recorded;
}

[[maybe_unused]] std::string target(const char* fd) {
    char link[64];
    std::snprintf(link, sizeof(link), "/proc/self/fd/%s", fd);
    char buffer[256] = {};
    if (readlink(link, buffer, sizeof(buffer) - 1) < 0)
        return "closed";
    return buffer;
}

[[maybe_unused]] std::string describe(const char* variable) {
    const char* value = getenv(variable);
    if (!value)
        return "unset";
    const int flags = fcntl(std::atoi(value), F_GETFD);
    return target(value) + " cloexec=" + std::to_string(flags != -1 && (flags & FD_CLOEXEC));
}

} // namespace

extern "C" {

#ifndef STANDIN_WITHOUT_MMAP
void* wine_anon_mmap(void* start, size_t size, int prot, int flags) {
    char line[128];
    std::snprintf(line, sizeof(line), "mmap=%p %#zx prot=%d flags=%#x", start, size, prot, flags);
    calls().push_back(line);
    return start;
}

void wine_mmap_add_reserved_area(void* start, size_t size) {
    char line[128];
    std::snprintf(line, sizeof(line), "reserved=%p %#zx", start, size);
    calls().push_back(line);
}
#endif

#ifndef STANDIN_WITHOUT_INIT
void wine_init(int argc, char** argv, char* error, int errorSize) {
    std::FILE* record = std::fopen("standin-wine.record", "w");
    if (!record)
        std::abort();
    std::fprintf(record, "argc=%d\n", argc);
    for (int i = 0; i < argc; ++i)
        std::fprintf(record, "arg=%s\n", argv[i]);
    std::fprintf(record, "argv-terminated=%d\n", argv[argc] == nullptr);
    for (char** entry = environ; *entry; ++entry)
        std::fprintf(record, "env=%s\n", *entry);
    char cwd[4096] = {};
    std::fprintf(record, "cwd=%s\n", getcwd(cwd, sizeof(cwd)) ? cwd : "?");
    for (const char* fd : {"0", "1", "2"})
        std::fprintf(record, "fd%s=%s\n", fd, target(fd).c_str());
    std::fprintf(record, "server=%s\n", describe("WINESERVERSOCKET").c_str());
    std::fprintf(record, "waitpipe=%s\n", describe("WINE_WAIT_CHILD_PIPE").c_str());
    for (const std::string& call : calls())
        std::fprintf(record, "%s\n", call.c_str());
    if (__lsan_do_recoverable_leak_check)
        std::fprintf(record, "leaks=%d\n", __lsan_do_recoverable_leak_check());
    std::fclose(record);

    if (const char* failure = getenv("STANDIN_WINE_INIT_ERROR")) {
        std::snprintf(error, size_t(errorSize), "%s", failure);
        return;
    }
    // The Windows program ran and ended.
    _exit(0);
}
#endif
}

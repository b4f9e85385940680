// Arbitrary byte streams into the host's loader request reader over a socket pair. The last
// input byte chooses how many descriptors follow the stream (0 to 6) and whether one more
// byte comes after them. No request may take the process over (the product root has no Wine
// library) and none may leave a descriptor open.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "WineLoaderClientConnection.h"
#include "WineLoaderTestClient.h"

// Client-given lengths beyond a gigabyte then fail to allocate instead of ending the run.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

namespace {

class NoWineLink : public WineLoaderLink {
public:
    std::string tesseraRoot() const override { return "/nonexistent-product-root"; }
    void postWrongArchitecture() override {}
    bool approveConnection(WineLoaderClientConnection*) override { __builtin_trap(); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // What fits into the socket's buffer, so one thread can write it all before reading.
    size = std::min<size_t>(size, 32 * 1024);
    const uint8_t options = size ? data[size - 1] : 0;
    const size_t streamSize = size ? size - 1 : 0;
    const int before = CountOpenDescriptors();

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    SendAllBytes(pair[0], data, streamSize);
    std::vector<int> fds;
    const int descriptors = options % 7;
    for (int i = 0; i < descriptors; ++i)
        fds.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (descriptors)
        SendDescriptors(pair[0], fds);
    if (options & 0x80)
        SendAllBytes(pair[0], "!", 1);
    shutdown(pair[0], SHUT_WR);

    auto connection =
        WineLoaderClientConnection::initWithLoader(std::make_shared<NoWineLink>(), pair[1]);
    connection->handleConnection();
    connection.reset();

    close(pair[0]);
    for (int fd : fds)
        close(fd);
    if (CountOpenDescriptors() != before)
        __builtin_trap();
    return 0;
}

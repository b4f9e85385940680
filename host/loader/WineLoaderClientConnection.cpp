#include "WineLoaderClientConnection.h"

#include "TSLog.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kHandleConnection[] = "-[WineLoaderClientConnection handleConnection]";
const char kReadBuffer[] = "-[WineLoaderClientConnection readLengthPrefixedBuffer:]";

// Descriptors of a run request: standard input, output and error, the Wine server connection
// and, optionally, the wait-child pipe.
constexpr int kMaxDescriptors = 5;
constexpr int kMinDescriptors = 4;
constexpr size_t kWineErrorSize = 1024;

// Environment names dropped at hand-over; each drops every entry that begins with it.
const char* const kDroppedNames[] = {"WINE_WAIT_CHILD_PIPE", "TS_ALT_LOADER_SOCKET"};
constexpr size_t kDroppedNameLength = 20;

// The environment built at hand-over belongs to the process for good. setenv may move the
// pointer array elsewhere; this keeps the block itself referenced.
char** g_handedOverEnvironment = nullptr;

using WineInit = void (*)(int argc, char** argv, char* error, int errorSize);
using WineAnonMmap = void* (*)(void* start, size_t size, int prot, int flags);
using WineAddReservedArea = void (*)(void* start, size_t size);

void closeDescriptor(int& fd) {
    if (fd != -1) {
        close(fd);
        fd = -1;
    }
}

} // namespace

// Wine's fixed areas: the DOS area, ending at 0x40001000, and the shared heap. Linux maps
// nothing below 64 KiB by default, and the executable's headers take the page at 64 KiB
// (WineReservedAreas.cpp), so the DOS area begins at 68 KiB.
const WineLoaderClientConnection::ReservedArea WineLoaderClientConnection::kReservedAreas[2] = {
    {0x00011000, 0x3FFF0000},
    {0x7F000000, 0x03000000},
};

struct WineLoaderClientConnection::Request {
    char* workingDirectory = nullptr;
    uint64_t workingDirectoryLength = 0;
    char* environment = nullptr;
    uint64_t environmentLength = 0;
    char* arguments = nullptr;
    uint64_t argumentsLength = 0;
    int argc = 0;
    char** argv = nullptr;
    int fds[kMaxDescriptors] = {-1, -1, -1, -1, -1};
    void* library = nullptr;
    std::string libraryPath;
};

WineLoaderClientConnection::WineLoaderClientConnection(std::shared_ptr<WineLoaderLink> loader,
                                                       int sock)
    : loader_(std::move(loader)), sock_(sock) {}

std::unique_ptr<WineLoaderClientConnection>
WineLoaderClientConnection::initWithLoader(std::shared_ptr<WineLoaderLink> loader, int sock) {
    if (sock == -1)
        return nullptr;
    return std::unique_ptr<WineLoaderClientConnection>(
        new WineLoaderClientConnection(std::move(loader), sock));
}

WineLoaderClientConnection::~WineLoaderClientConnection() {
    closeSocket();
}

void WineLoaderClientConnection::closeSocket() {
    closeDescriptor(sock_);
}

bool WineLoaderClientConnection::readData(void* buffer, size_t length) {
    char* position = static_cast<char*>(buffer);
    while (length > 0) {
        const ssize_t got = read(sock_, position, length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            errno = 0; // end of stream
        if (got <= 0)
            return false;
        position += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

char* WineLoaderClientConnection::readLengthPrefixedBuffer(uint64_t* length) {
    if (!readData(length, sizeof(*length))) {
        TSSystemLog("%s: reading length failed; errno %d", kReadBuffer, errno);
        return nullptr;
    }
    // One byte at least, so that an empty field still gives a buffer.
    char* buffer =
        *length <= SIZE_MAX ? static_cast<char*>(std::malloc(*length ? *length : 1)) : nullptr;
    if (!buffer) {
        TSSystemLog("%s: failed to allocate buffer of length %llu", kReadBuffer,
                    static_cast<unsigned long long>(*length));
        return nullptr;
    }
    if (!readData(buffer, *length)) {
        TSSystemLog("%s: reading buffer failed; errno %d", kReadBuffer, errno);
        std::free(buffer);
        return nullptr;
    }
    return buffer;
}

// Whoever can connect could take the process over: only the host's own user may.
bool WineLoaderClientConnection::peerIsOwnUser() {
    ucred peer{};
    socklen_t size = sizeof(peer);
    if (getsockopt(sock_, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        TSSystemLog("%s: reading the peer's credentials failed; errno %d", kHandleConnection,
                    errno);
        return false;
    }
    if (peer.uid != geteuid()) {
        TSSystemLog("%s: refusing connection from user id %u; this process runs as user id %u",
                    kHandleConnection, static_cast<unsigned>(peer.uid),
                    static_cast<unsigned>(geteuid()));
        return false;
    }
    return true;
}

void WineLoaderClientConnection::handleConnection() {
    Request request;
    if (!readRequest(request)) {
        refuse(request);
        return;
    }
    handOver(request);
}

bool WineLoaderClientConnection::readRequest(Request& request) {
    const int flags = fcntl(sock_, F_GETFL);
    if (flags == -1) {
        TSSystemLog("%s: fcntl(F_GETFL) failed; errno %d", kHandleConnection, errno);
        return false;
    }
    if (fcntl(sock_, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        TSSystemLog("%s: fcntl(F_SETFL) failed; errno %d", kHandleConnection, errno);
        return false;
    }
    if (!peerIsOwnUser())
        return false;

    uint32_t type = 0;
    if (!readData(&type, sizeof(type))) {
        TSSystemLog("%s: reading request type failed; errno %d", kHandleConnection, errno);
        return false;
    }
    if (type == WineLoaderRequestTypeI386) {
        loader_->postWrongArchitecture();
        return false;
    }
    if (type != WineLoaderRequestTypeRun) {
        TSSystemLog("%s: unknown request type 0x%08x", kHandleConnection, type);
        return false;
    }

    request.workingDirectory = readLengthPrefixedBuffer(&request.workingDirectoryLength);
    if (!request.workingDirectory) {
        TSSystemLog("%s: reading working directory failed", kHandleConnection);
        return false;
    }
    const uint64_t wdLength = request.workingDirectoryLength;
    if (wdLength != 0 && (request.workingDirectory[wdLength - 1] != '\0' ||
                          std::strlen(request.workingDirectory) + 1 != wdLength)) {
        TSSystemLog("%s: working directory is not a single null-terminated string",
                    kHandleConnection);
        return false;
    }

    request.environment = readLengthPrefixedBuffer(&request.environmentLength);
    if (!request.environment) {
        TSSystemLog("%s: reading environment failed", kHandleConnection);
        return false;
    }
    if (request.environmentLength != 0 &&
        request.environment[request.environmentLength - 1] != '\0') {
        TSSystemLog("%s: environment is not null-terminated", kHandleConnection);
        return false;
    }

    request.arguments = readLengthPrefixedBuffer(&request.argumentsLength);
    if (!request.arguments) {
        TSSystemLog("%s: reading args failed", kHandleConnection);
        return false;
    }
    if (request.argumentsLength == 0) {
        TSSystemLog("%s: args list is empty", kHandleConnection);
        return false;
    }
    if (request.arguments[request.argumentsLength - 1] != '\0') {
        TSSystemLog("%s: args is not null-terminated", kHandleConnection);
        return false;
    }

    uint64_t zeros = 0;
    for (uint64_t i = 0; i < request.argumentsLength; ++i)
        zeros += request.arguments[i] == '\0';
    // The count is a 32-bit number; more arguments than that cannot be given a vector.
    request.argc = zeros < INT_MAX ? static_cast<int>(zeros) : -1;
    if (request.argc > 0)
        request.argv = static_cast<char**>(std::calloc(size_t(request.argc) + 1, sizeof(char*)));
    if (!request.argv) {
        TSSystemLog("%s: failed to allocate argv with %d elements", kHandleConnection,
                    request.argc < 0 ? request.argc : request.argc + 1);
        return false;
    }

    if (!receiveDescriptors(request))
        return false;

    char extra = 0;
    ssize_t got;
    do
        got = read(sock_, &extra, 1);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        TSSystemLog("%s: failed to read EOF; errno %d", kHandleConnection, errno);
        return false;
    }
    if (got > 0) {
        TSSystemLog("%s: got extraneous data instead of EOF", kHandleConnection);
        return false;
    }
    return true;
}

bool WineLoaderClientConnection::receiveDescriptors(Request& request) {
    char data = 0;
    iovec vector{&data, 1};
    // Room for one record of five descriptors and no more: a sixth is cut off by the kernel
    // (and closed by it) and the record marked truncated.
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(kMaxDescriptors * sizeof(int))] = {};
    const int unset[kMaxDescriptors] = {-1, -1, -1, -1, -1};
    std::memcpy(CMSG_DATA(reinterpret_cast<cmsghdr*>(control)), unset, sizeof(unset));
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = CMSG_LEN(kMaxDescriptors * sizeof(int));

    ssize_t got;
    do {
        errno = 0;
        // Close-on-exec until the hand-over: children the host starts meanwhile must not
        // inherit another process's descriptors.
        got = recvmsg(sock_, &message, MSG_WAITALL | MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);

    // Whatever arrived is ours to close, whether or not the request goes on.
    cmsghdr* record = got > 0 ? CMSG_FIRSTHDR(&message) : nullptr;
    const bool rights =
        record && record->cmsg_level == SOL_SOCKET && record->cmsg_type == SCM_RIGHTS;
    if (rights) {
        size_t count = (record->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        if (count > kMaxDescriptors)
            count = kMaxDescriptors;
        std::memcpy(request.fds, CMSG_DATA(record), count * sizeof(int));
    }

    if (got != 1) {
        TSSystemLog("%s: failed to receive file descriptors; errno %d", kHandleConnection, errno);
        return false;
    }
    if ((message.msg_flags & MSG_CTRUNC) ||
        message.msg_controllen < CMSG_LEN(kMinDescriptors * sizeof(int)) || !rights ||
        record->cmsg_len < CMSG_LEN(kMinDescriptors * sizeof(int))) {
        TSSystemLog("%s: failed to receive file descriptors", kHandleConnection);
        return false;
    }
    if (record->cmsg_len < CMSG_LEN(kMaxDescriptors * sizeof(int)))
        request.fds[4] = -1;
    return true;
}

void WineLoaderClientConnection::refuse(Request& request) {
    for (char** buffer : {&request.workingDirectory, &request.environment, &request.arguments}) {
        std::free(*buffer);
        *buffer = nullptr;
    }
    std::free(request.argv);
    request.argv = nullptr;
    for (int& fd : request.fds)
        closeDescriptor(fd);
    if (request.library)
        dlclose(request.library);
    request.library = nullptr;
    closeSocket();
}

void WineLoaderClientConnection::handOver(Request& request) {
    request.libraryPath = loader_->tesseraRoot() + "/lib64/libwine.so.1";
    request.library = dlopen(request.libraryPath.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!request.library) {
        TSSystemLog("Failed to load %s: %s", request.libraryPath.c_str(), dlerror());
        refuse(request);
        return;
    }
    const auto wineInit = reinterpret_cast<WineInit>(dlsym(request.library, "wine_init"));
    if (!wineInit) {
        TSSystemLog("Failed to find symbol 'wine_init' in %s: %s", request.libraryPath.c_str(),
                    dlerror());
        refuse(request);
        return;
    }
    if (!loader_->approveConnection(this)) {
        refuse(request);
        return;
    }

    const uint32_t response = WineLoaderResponseProceed;
    const char* position = reinterpret_cast<const char*>(&response);
    size_t left = sizeof(response);
    while (left > 0) {
        const ssize_t written = send(sock_, position, left, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            TSSystemLog("%s: failed to send response; errno %d; p %p; &response %p; "
                        "sizeof(response) %lu",
                        kHandleConnection, errno, static_cast<const void*>(position),
                        static_cast<const void*>(&response),
                        static_cast<unsigned long>(sizeof(response)));
            refuse(request);
            return;
        }
        position += written;
        left -= static_cast<size_t>(written);
    }
    closeSocket();

    reserveAreas(request);

    if (request.workingDirectory && request.workingDirectory[0] != '\0') {
        const int changed = chdir(request.workingDirectory);
        (void)changed;
    }
    std::free(request.workingDirectory);
    request.workingDirectory = nullptr;

    replaceEnvironment(request);

    // The argument block stays: the vector points into it for the rest of the process.
    char* argument = request.arguments;
    for (int i = 0; i < request.argc; ++i) {
        request.argv[i] = argument;
        argument += std::strlen(argument) + 1;
    }
    request.argv[request.argc] = nullptr;
    std::string defaultLoader;
    if (request.argv[0][0] == '\0') {
        if (const char* loader = getenv("WINELOADER")) {
            request.argv[0] = const_cast<char*>(loader);
        } else {
            defaultLoader = loader_->tesseraRoot() + "/bin/wineloader64";
            request.argv[0] = defaultLoader.data();
        }
    }

    installDescriptors(request);

    char error[kWineErrorSize] = {};
    wineInit(request.argc, request.argv, error, sizeof(error));
    std::fprintf(stderr, "%s: wine_init failed: %s\n", kHandleConnection, error);
    std::fflush(stderr);
    refuse(request);
}

void WineLoaderClientConnection::reserveAreas(Request& request) {
    const auto anonMmap = reinterpret_cast<WineAnonMmap>(dlsym(request.library, "wine_anon_mmap"));
    const auto addReservedArea = reinterpret_cast<WineAddReservedArea>(
        anonMmap ? dlsym(request.library, "wine_mmap_add_reserved_area") : nullptr);
    if (!anonMmap || !addReservedArea) {
        TSSystemLog("Failed to find mmap symbols in %s: %s", request.libraryPath.c_str(),
                    dlerror());
        return;
    }
    for (const ReservedArea& area : kReservedAreas) {
        void* start = reinterpret_cast<void*>(area.start);
        anonMmap(start, area.length, PROT_NONE, MAP_FIXED | MAP_NORESERVE);
        addReservedArea(start, area.length);
    }
}

// The received block becomes the whole environment, less the two names of the handing-over
// process itself. One allocation: the pointer array, then copies of the kept strings.
void WineLoaderClientConnection::replaceEnvironment(Request& request) {
    auto kept = [](const char* entry) {
        for (const char* name : kDroppedNames)
            if (std::strncmp(entry, name, kDroppedNameLength) == 0)
                return false;
        return true;
    };
    const char* end = request.environment + request.environmentLength;
    size_t count = 0;
    size_t bytes = 0;
    for (const char* entry = request.environment; entry < end; entry += std::strlen(entry) + 1) {
        if (kept(entry)) {
            ++count;
            bytes += std::strlen(entry) + 1;
        }
    }
    char** table = static_cast<char**>(std::malloc((count + 1) * sizeof(char*) + bytes));
    if (table) {
        char* copy = reinterpret_cast<char*>(table + count + 1);
        size_t index = 0;
        for (const char* entry = request.environment; entry < end;
             entry += std::strlen(entry) + 1) {
            if (!kept(entry))
                continue;
            const size_t size = std::strlen(entry) + 1;
            std::memcpy(copy, entry, size);
            table[index++] = copy;
            copy += size;
        }
        table[index] = nullptr;
        g_handedOverEnvironment = table;
        environ = table;
    }
    std::free(request.environment);
    request.environment = nullptr;
}

// Received descriptors 1 to 3 become standard input, output and error; the fourth is Wine's
// server connection, the optional fifth the wait-child pipe.
void WineLoaderClientConnection::installDescriptors(Request& request) {
    // A received descriptor that itself lies in 0 to 2 would be overwritten or closed below.
    for (int& fd : request.fds) {
        if (fd >= 0 && fd <= STDERR_FILENO) {
            const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            if (moved != -1) {
                close(fd);
                fd = moved;
            }
        }
    }
    for (int target = 0; target <= STDERR_FILENO; ++target) {
        dup2(request.fds[target], target);
        closeDescriptor(request.fds[target]);
    }
    if (fcntl(request.fds[3], F_SETFD, FD_CLOEXEC) == -1)
        TSSystemLog("%s: failed to set received Wine server socket to close-on-exec; errno %d",
                    kHandleConnection, errno);
    setenv("WINESERVERSOCKET", std::to_string(request.fds[3]).c_str(), 1);
    if (request.fds[4] != -1) {
        // Every process Wine starts keeps the pipe open until it ends.
        fcntl(request.fds[4], F_SETFD, 0);
        setenv("WINE_WAIT_CHILD_PIPE", std::to_string(request.fds[4]).c_str(), 1);
    }
}

void* WineLoaderClientConnection::handleConnectionTrampoline(void* connection) {
    std::unique_ptr<WineLoaderClientConnection> owned(
        static_cast<WineLoaderClientConnection*>(connection));
    owned->handleConnection();
    return nullptr;
}

void WineLoaderClientConnection::handleConnectionInBackground(
    std::unique_ptr<WineLoaderClientConnection> connection) {
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error == 0) {
        error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        if (error == 0)
            error =
                pthread_create(&thread, &attributes, handleConnectionTrampoline, connection.get());
        if (error == 0)
            connection.release(); // the thread's now
        pthread_attr_destroy(&attributes);
    }
    if (error != 0) {
        TSSystemLog("Failed to create thread to handle connection: error %d, %s", error,
                    std::strerror(error));
        connection->closeSocket();
    }
}

#include "WineLoaderTestClient.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

void appendField(std::string& out, const std::string& field) {
    const uint64_t length = field.size();
    out.append(reinterpret_cast<const char*>(&length), sizeof(length));
    out += field;
}

bool sendAll(int sock, const std::string& bytes) {
    return SendAllBytes(sock, bytes.data(), bytes.size());
}

} // namespace

bool SendAllBytes(int sock, const void* data, size_t size) {
    const char* position = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = send(sock, position, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        position += n;
        size -= size_t(n);
    }
    return true;
}

bool SendDescriptors(int sock, const std::vector<int>& fds) {
    char data = 'x';
    iovec vector{&data, 1};
    std::vector<unsigned char> control(CMSG_SPACE(fds.size() * sizeof(int)));
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    cmsghdr* record = CMSG_FIRSTHDR(&message);
    record->cmsg_level = SOL_SOCKET;
    record->cmsg_type = SCM_RIGHTS;
    record->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
    std::memcpy(CMSG_DATA(record), fds.data(), fds.size() * sizeof(int));
    return sendmsg(sock, &message, MSG_NOSIGNAL) == 1;
}

std::string EncodeRequestFields(const WireRequest& request) {
    std::string out(reinterpret_cast<const char*>(&request.type), sizeof(request.type));
    appendField(out, request.workingDirectory);
    appendField(out, request.environment);
    appendField(out, request.arguments);
    return out;
}

int StartWireRequest(const std::string& socketPath, const WireRequest& request) {
    const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    if (connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        close(sock);
        return -1;
    }
    // A host that refuses early may close before everything is written; that is its answer.
    if (request.raw) {
        sendAll(sock, *request.raw);
    } else if (sendAll(sock, EncodeRequestFields(request))) {
        if (!request.descriptors.empty() && SendDescriptors(sock, request.descriptors) &&
            request.extraByte)
            sendAll(sock, "!");
    }
    shutdown(sock, SHUT_WR);
    return sock;
}

WireOutcome FinishWireRequest(int sock) {
    WireOutcome outcome;
    if (sock == -1)
        return outcome;
    outcome.connected = true;
    std::string received;
    char buffer[16];
    for (;;) {
        const ssize_t n = read(sock, buffer, sizeof(buffer));
        if (n <= 0) {
            outcome.closed = n == 0 || errno == ECONNRESET;
            break;
        }
        received.append(buffer, size_t(n));
    }
    if (received.size() == 4) {
        uint32_t value;
        std::memcpy(&value, received.data(), 4);
        outcome.response = value;
    }
    close(sock);
    return outcome;
}

WireOutcome SendWireRequest(const std::string& socketPath, const WireRequest& request) {
    return FinishWireRequest(StartWireRequest(socketPath, request));
}

PipeSet::~PipeSet() {
    closeAll();
}

std::pair<int, int> PipeSet::add() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return {-1, -1};
    fds_.push_back(ends[0]);
    fds_.push_back(ends[1]);
    return {ends[0], ends[1]};
}

std::vector<int> PipeSet::ends(int count) {
    std::vector<int> result;
    for (int i = 0; i < count; ++i)
        result.push_back(i == 0 ? add().first : add().second);
    return result;
}

void PipeSet::closeAll() {
    for (int fd : fds_)
        close(fd);
    fds_.clear();
}

void PipeSet::closeOne(int fd) {
    for (auto it = fds_.begin(); it != fds_.end(); ++it) {
        if (*it == fd) {
            close(fd);
            fds_.erase(it);
            return;
        }
    }
}

std::string DescriptorTarget(int fd) {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string();
}

int CountOpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// The Wine side of a loader request, for the tests: writes a request field by field (or raw
// bytes), passes descriptors, and reports what the host answered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct WireRequest {
    uint32_t type = 0x52C17357;
    // Fields as sent, zero bytes included; lengths are the byte counts.
    std::string workingDirectory;
    std::string environment;
    std::string arguments{"wineloader64\0prog.exe\0", 22};
    // Descriptors for the descriptor message; none means no message at all.
    std::vector<int> descriptors;
    bool extraByte = false;
    // Instead of the fields above: exactly these bytes, then the end of the stream.
    std::optional<std::string> raw;
};

struct WireOutcome {
    bool connected = false;
    // The 4 bytes of a response, when the host sent one.
    std::optional<uint32_t> response;
    // The host closed the connection after its answer (or none): end of stream, or a reset
    // when the host had not read everything the client sent.
    bool closed = false;
};

// Writes all bytes; false when the connection fails first.
bool SendAllBytes(int sock, const void* data, size_t size);
// The descriptor message: one data byte and the descriptors as one rights record.
bool SendDescriptors(int sock, const std::vector<int>& fds);

// The bytes of fields 1 to 7.
std::string EncodeRequestFields(const WireRequest& request);

// Connects to the socket, sends the request and reads until the host closes.
WireOutcome SendWireRequest(const std::string& socketPath, const WireRequest& request);

// Connects and sends everything, then returns the connected socket without reading.
int StartWireRequest(const std::string& socketPath, const WireRequest& request);
WireOutcome FinishWireRequest(int sock);

// Pipes whose ends the tests pass as descriptors; all closed on destruction.
class PipeSet {
public:
    PipeSet() = default;
    ~PipeSet();
    PipeSet(const PipeSet&) = delete;
    PipeSet& operator=(const PipeSet&) = delete;
    // A new pipe; answers {read end, write end}.
    std::pair<int, int> add();
    // count descriptors: pipe ends, one pipe per descriptor.
    std::vector<int> ends(int count);
    void closeAll();
    void closeOne(int fd);

private:
    std::vector<int> fds_;
};

// The kernel's name of a descriptor's object, as /proc/self/fd shows it ("pipe:[123]").
std::string DescriptorTarget(int fd);
// Open descriptors of this process.
int CountOpenDescriptors();

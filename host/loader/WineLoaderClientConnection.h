// One connection of the in-process program loader: reads and checks one request of a Wine
// process that hands its start over to the host, and either refuses it or turns the calling
// thread into that Windows program. Plain POSIX, so the reader also runs without the
// application (the fuzz target uses it that way).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class WineLoaderClientConnection;

enum : uint32_t {
    WineLoaderRequestTypeRun = 0x52C17357,
    WineLoaderRequestTypeI386 = 0x52C17355,
    WineLoaderResponseProceed = 0x52C17356,
};

// What a connection needs from the service that accepted it. Connections may outlive the
// service object, so they hold this link, never the service itself.
class WineLoaderLink {
public:
    virtual ~WineLoaderLink() = default;
    // The product root; Wine's library and default loader lie below it.
    virtual std::string tesseraRoot() const = 0;
    // A 32-bit client asked to run; called on the connection's thread.
    virtual void postWrongArchitecture() = 0;
    // Asks the service for approval on the application's main thread; the caller waits.
    virtual bool approveConnection(WineLoaderClientConnection* connection) = 0;
};

class WineLoaderClientConnection {
public:
    // Null when sock is -1.
    static std::unique_ptr<WineLoaderClientConnection>
    initWithLoader(std::shared_ptr<WineLoaderLink> loader, int sock);
    // Closes the socket when still open.
    ~WineLoaderClientConnection();
    WineLoaderClientConnection(const WineLoaderClientConnection&) = delete;
    WineLoaderClientConnection& operator=(const WineLoaderClientConnection&) = delete;

    int sock() const { return sock_; }

    // True when exactly length bytes were read; interrupted reads are repeated.
    bool readData(void* buffer, size_t length);
    // The 8-byte length into *length, then a new buffer (malloc) of exactly that many bytes
    // holding the field; null on failure.
    char* readLengthPrefixedBuffer(uint64_t* length);

    // Reads and checks one request, then refuses it or hands the process over.
    void handleConnection();
    // Runs handleConnection on a detached thread of its own, which then frees the connection.
    static void
    handleConnectionInBackground(std::unique_ptr<WineLoaderClientConnection> connection);

    // The reserved-area table handed to Wine.
    struct ReservedArea {
        uintptr_t start;
        size_t length;
    };
    static const ReservedArea kReservedAreas[2];

private:
    struct Request;

    WineLoaderClientConnection(std::shared_ptr<WineLoaderLink> loader, int sock);
    static void* handleConnectionTrampoline(void* connection);

    bool peerIsOwnUser();
    bool readRequest(Request& request);
    bool receiveDescriptors(Request& request);
    void handOver(Request& request);
    void reserveAreas(Request& request);
    void replaceEnvironment(Request& request);
    void installDescriptors(Request& request);
    void refuse(Request& request);
    void closeSocket();

    std::shared_ptr<WineLoaderLink> loader_;
    int sock_ = -1;
};

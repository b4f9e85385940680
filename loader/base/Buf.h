// Byte buffers that do or do not own their memory, and a closing file-stream wrapper.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// A plain carrier of a memory block and its size: whoever fills it decides who frees it.
class Buf {
public:
    Buf() = default;
    Buf(void* block, uint64_t bytes) : data(static_cast<unsigned char*>(block)), size(bytes) {}
    virtual ~Buf() = default; // does not free

    // Replaces the block (an earlier one is not freed); on failure data and size are empty.
    virtual bool Allocate(uint64_t bytes, bool zeroFill);
    virtual void Free();

    unsigned char* data = nullptr;
    uint64_t size = 0;
};

// A buffer that frees its block while it owns it; clearing owns hands the block over.
class scoped_buf : public Buf {
public:
    explicit scoped_buf(bool ownsBlock = true) : owns(ownsBlock) {}
    scoped_buf(const scoped_buf&) = delete;
    scoped_buf& operator=(const scoped_buf&) = delete;
    ~scoped_buf() override { scoped_buf::Free(); }

    // Allocates only while it owns; an earlier owned block is freed first.
    bool Allocate(uint64_t bytes, bool zeroFill) override;
    void Free() override;

    bool owns;
};

// An open run-time file stream that is closed (and optionally deleted) when done.
class scoped_file {
public:
    scoped_file() = default;
    scoped_file(FILE* stream, const char* filePath, bool ownsStream = true,
                bool deleteFileOnClose = false)
        : file(stream), path(filePath ? filePath : ""), owns(ownsStream),
          deleteOnClose(deleteFileOnClose) {}
    scoped_file(const scoped_file&) = delete;
    scoped_file& operator=(const scoped_file&) = delete;
    ~scoped_file() { Close(); }

    // False when it does not own the stream; otherwise whether closing succeeded.
    bool Close();

    FILE* file = nullptr;
    std::string path;
    bool owns = false;
    bool deleteOnClose = false;
};

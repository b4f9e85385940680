// Deflate compression (RFC 1951): LZ77 over a 32 KiB window with hash chains and lazy
// matching; each block goes out with dynamic Huffman codes, the fixed codes or stored,
// whichever is smallest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CDeflater {
public:
    // Levels 1 to 9 trade speed for size; the zip writer uses 8.
    explicit CDeflater(int level = 8);
    ~CDeflater();
    CDeflater(const CDeflater&) = delete;
    CDeflater& operator=(const CDeflater&) = delete;

    // Compresses the next piece of input and appends what is ready to out; finish ends the
    // stream. False when one of the coder's own consistency checks failed or the stream
    // was already finished; the coder then has to be reset.
    bool Deflate(const uint8_t* input, size_t length, bool finish, std::vector<uint8_t>& out);
    // Starts a new stream.
    void Reset();

    // The whole input in one stream.
    static bool Compress(const uint8_t* input, size_t length, int level, std::vector<uint8_t>& out);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

#include "Deflater.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr unsigned kWindowSize = 32768;
constexpr unsigned kWindowMask = kWindowSize - 1;
constexpr unsigned kHashBits = 15;
constexpr unsigned kHashSize = 1u << kHashBits;
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 258;
// Enough look-ahead for a longest match plus the next hash.
constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr unsigned kMaxDistance = kWindowSize - kMinLookahead;
// A match of three bytes this far back costs more than three literals.
constexpr unsigned kTooFar = 4096;
// Bytes after the window that the 8-byte match comparison may read.
constexpr unsigned kWindowPadding = 16;
constexpr unsigned kSymbolBufferSize = 16384;

constexpr int kLiteralCodes = 286; // 256 literals, end of block, 29 lengths
constexpr int kDistanceCodes = 30;
constexpr int kLengthCodeCount = 19;
constexpr int kEndOfBlock = 256;
constexpr int kMaxBits = 15;
constexpr int kMaxLengthCodeBits = 7;

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
// Order in which the code lengths of the code-length code are sent.
constexpr uint8_t kLengthCodeOrder[kLengthCodeCount] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

struct LevelConfig {
    unsigned goodLength; // a previous match this long shortens the chain search
    unsigned maxLazy;    // a previous match this long is not improved on
    unsigned niceLength; // a match this long ends the search
    unsigned maxChain;
};

constexpr LevelConfig kLevels[10] = {
    {4, 4, 16, 16},       {4, 4, 16, 16},       {4, 4, 16, 16},    {4, 4, 16, 16},
    {4, 4, 16, 16},       {8, 16, 32, 32},      {8, 16, 128, 128}, {8, 32, 128, 256},
    {32, 128, 258, 1024}, {32, 258, 258, 4096},
};

struct Tables {
    uint8_t lengthCode[256];   // match length - 3 to length code
    uint8_t distanceCode[512]; // see DistanceCode
    uint8_t fixedLiteralBits[288];
    uint16_t fixedLiteralCode[288];
    uint16_t fixedDistanceCode[30];

    Tables();
};

uint16_t ReverseBits(unsigned code, int bits) {
    unsigned result = 0;
    for (int i = 0; i < bits; ++i, code >>= 1)
        result = (result << 1) | (code & 1);
    return static_cast<uint16_t>(result);
}

// Canonical codes for the given lengths, bit-reversed for LSB-first output.
void MakeCodes(const uint8_t* bits, int count, uint16_t* codes) {
    unsigned lengthCount[kMaxBits + 1] = {};
    for (int i = 0; i < count; ++i)
        ++lengthCount[bits[i]];
    lengthCount[0] = 0;
    unsigned next[kMaxBits + 2] = {};
    unsigned code = 0;
    for (int b = 1; b <= kMaxBits; ++b) {
        code = (code + lengthCount[b - 1]) << 1;
        next[b] = code;
    }
    for (int i = 0; i < count; ++i)
        codes[i] = bits[i] ? ReverseBits(next[bits[i]]++, bits[i]) : 0;
}

Tables::Tables() {
    for (int code = 0; code < 28; ++code)
        for (int n = 0; n < (1 << kLengthExtra[code]); ++n)
            lengthCode[kLengthBase[code] - 3 + n] = static_cast<uint8_t>(code);
    lengthCode[255] = 28;
    for (int code = 0; code < 30; ++code) {
        unsigned first = kDistanceBase[code] - 1u;
        unsigned count = 1u << kDistanceExtra[code];
        for (unsigned d = first; d < first + count; ++d) {
            if (d < 256)
                distanceCode[d] = static_cast<uint8_t>(code);
            else
                distanceCode[256 + (d >> 7)] = static_cast<uint8_t>(code);
        }
    }
    for (int i = 0; i < 288; ++i)
        fixedLiteralBits[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    MakeCodes(fixedLiteralBits, 288, fixedLiteralCode);
    for (int i = 0; i < 30; ++i)
        fixedDistanceCode[i] = ReverseBits(static_cast<unsigned>(i), 5);
}

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

// distance - 1 to distance code
inline unsigned DistanceCode(const Tables& t, unsigned d) {
    return d < 256 ? t.distanceCode[d] : t.distanceCode[256 + (d >> 7)];
}

// Huffman code lengths, none above maxBits, for the symbols of non-zero frequency; at
// least two symbols must have one.
void BuildLengths(const uint32_t* frequency, int count, int maxBits, uint8_t* bits) {
    std::array<uint32_t, 2 * kLiteralCodes> weight{};
    std::array<int, 2 * kLiteralCodes> parent{};
    std::array<int, kLiteralCodes> leaves{};
    std::array<uint32_t, kLiteralCodes> scaled{};
    std::fill(bits, bits + count, 0);
    int used = 0;
    for (int i = 0; i < count; ++i)
        if (frequency[i] != 0)
            leaves[used++] = i;
    for (int shift = 0;; ++shift) {
        // Rare case: the tree is too deep; flatter frequencies give a shallower tree.
        for (int i = 0; i < used; ++i)
            scaled[leaves[i]] =
                shift == 0 ? frequency[leaves[i]] : (frequency[leaves[i]] >> shift) + 1;
        std::sort(leaves.begin(), leaves.begin() + used, [&](int a, int b) {
            return scaled[a] != scaled[b] ? scaled[a] < scaled[b] : a < b;
        });
        // Two queues: the sorted leaves (nodes 0..used-1) and the inner nodes in the
        // order they are made, which is by non-decreasing weight.
        for (int i = 0; i < used; ++i)
            weight[i] = scaled[leaves[i]];
        int nextLeaf = 0, nextInner = used, made = used;
        auto takeSmallest = [&]() {
            if (nextLeaf < used && (nextInner >= made || weight[nextLeaf] <= weight[nextInner]))
                return nextLeaf++;
            return nextInner++;
        };
        while (made < 2 * used - 1) {
            int a = takeSmallest();
            int b = takeSmallest();
            weight[made] = weight[a] + weight[b];
            parent[a] = parent[b] = made;
            ++made;
        }
        std::array<int, 2 * kLiteralCodes> depth{};
        int root = made - 1;
        depth[root] = 0;
        int deepest = 0;
        for (int node = root - 1; node >= 0; --node) {
            depth[node] = depth[parent[node]] + 1;
            if (node < used)
                deepest = std::max(deepest, depth[node]);
        }
        if (deepest <= maxBits) {
            for (int i = 0; i < used; ++i)
                bits[leaves[i]] = static_cast<uint8_t>(depth[i]);
            return;
        }
    }
}

} // namespace

struct CDeflater::State {
    explicit State(int level) : config(kLevels[std::clamp(level, 1, 9)]), tables(GetTables()) {
        Reset();
    }

    void Reset() {
        std::fill(window.begin(), window.end(), 0);
        std::fill(head.begin(), head.end(), 0);
        std::fill(prev.begin(), prev.end(), 0);
        strStart = 0;
        lookahead = 0;
        blockStart = 0;
        matchLength = prevLength = kMinMatch - 1;
        matchStart = prevMatch = 0;
        matchAvailable = false;
        finished = false;
        failed = false;
        bitBuffer = 0;
        bitCount = 0;
        StartBlock();
    }

    void StartBlock() {
        literalFrequency.fill(0);
        distanceFrequency.fill(0);
        literalFrequency[kEndOfBlock] = 1;
        symbolCount = 0;
    }

    bool Deflate(const uint8_t* input, size_t length, bool finish, std::vector<uint8_t>& out);
    void FillWindow();
    void Slide();
    unsigned Insert(unsigned position);
    unsigned LongestMatch(unsigned current);
    bool TallyLiteral(uint8_t c);
    bool TallyMatch(unsigned distance, unsigned length);
    void FlushBlock(bool last, std::vector<uint8_t>& out);
    uint64_t SymbolCost(const uint8_t* literalBits, const uint8_t* distanceBits) const;
    void SendSymbols(const uint16_t* literalCodes, const uint8_t* literalBits,
                     const uint16_t* distanceCodes, const uint8_t* distanceBits);

    void PutBits(uint32_t value, int count) {
        bitBuffer |= static_cast<uint64_t>(value) << bitCount;
        bitCount += count;
        if (bitCount >= 32) {
            uint32_t word = static_cast<uint32_t>(bitBuffer);
            uint8_t bytes[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                                static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
            memcpy(output + outputUsed, bytes, 4);
            outputUsed += 4;
            bitBuffer >>= 32;
            bitCount -= 32;
        }
    }
    // Pads to a byte boundary.
    void AlignToByte() {
        while (bitCount > 0) {
            output[outputUsed++] = static_cast<uint8_t>(bitBuffer);
            bitBuffer >>= 8;
            bitCount = bitCount > 8 ? bitCount - 8 : 0;
        }
        bitBuffer = 0;
    }
    uint64_t BitsWritten() const { return outputUsed * 8 + static_cast<uint64_t>(bitCount); }

    LevelConfig config;
    const Tables& tables;

    std::array<uint8_t, 2 * kWindowSize + kWindowPadding> window{};
    std::array<uint16_t, kHashSize> head{};   // newest position per hash, 0 for none
    std::array<uint16_t, kWindowSize> prev{}; // older position with the same hash
    unsigned strStart = 0;
    unsigned lookahead = 0;
    int64_t blockStart = 0; // negative once the block's start has slid out of the window
    unsigned matchLength = 0, prevLength = 0, matchStart = 0, prevMatch = 0;
    bool matchAvailable = false;
    bool finished = false;
    bool failed = false;

    const uint8_t* pending = nullptr;
    size_t pendingLength = 0;

    std::array<uint8_t, kSymbolBufferSize> symbolLength{};    // literal, or match length - 3
    std::array<uint16_t, kSymbolBufferSize> symbolDistance{}; // 0 for a literal
    unsigned symbolCount = 0;
    std::array<uint32_t, kLiteralCodes> literalFrequency{};
    std::array<uint32_t, kDistanceCodes> distanceFrequency{};

    uint64_t bitBuffer = 0;
    int bitCount = 0;
    uint8_t* output = nullptr;
    size_t outputUsed = 0;
};

unsigned CDeflater::State::Insert(unsigned position) {
    const uint8_t* p = &window[position];
    uint32_t key = p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
    unsigned hash = (key * 2654435761u) >> (32 - kHashBits);
    unsigned older = head[hash];
    prev[position & kWindowMask] = static_cast<uint16_t>(older);
    head[hash] = static_cast<uint16_t>(position);
    return older;
}

// Moves the upper half of the window down and the stored positions with it.
void CDeflater::State::Slide() {
    memcpy(&window[0], &window[kWindowSize], kWindowSize);
    matchStart -= kWindowSize;
    strStart -= kWindowSize;
    blockStart -= kWindowSize;
    for (auto& position : head)
        position = static_cast<uint16_t>(position >= kWindowSize ? position - kWindowSize : 0);
    for (auto& position : prev)
        position = static_cast<uint16_t>(position >= kWindowSize ? position - kWindowSize : 0);
}

void CDeflater::State::FillWindow() {
    do {
        if (strStart >= kWindowSize + kMaxDistance)
            Slide();
        if (pendingLength == 0)
            break;
        size_t room = 2 * kWindowSize - lookahead - strStart;
        size_t n = std::min(room, pendingLength);
        memcpy(&window[strStart + lookahead], pending, n);
        pending += n;
        pendingLength -= n;
        lookahead += static_cast<unsigned>(n);
    } while (lookahead < kMinLookahead && pendingLength != 0);
}

unsigned CDeflater::State::LongestMatch(unsigned current) {
    unsigned chain = config.maxChain;
    const uint8_t* scan = &window[strStart];
    unsigned best = prevLength;
    unsigned nice = std::min(config.niceLength, lookahead);
    unsigned limit = strStart > kMaxDistance ? strStart - kMaxDistance : 0;
    if (prevLength >= config.goodLength)
        chain >>= 2;
    do {
        const uint8_t* match = &window[current];
        if (match[best] != scan[best] || match[best - 1] != scan[best - 1] || match[0] != scan[0] ||
            match[1] != scan[1])
            continue;
        unsigned length = 2;
        while (length < kMaxMatch) {
            uint64_t a, b;
            memcpy(&a, scan + length, 8);
            memcpy(&b, match + length, 8);
            uint64_t differ = a ^ b;
            if (differ != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
                length += static_cast<unsigned>(__builtin_clzll(differ)) / 8;
#else
                length += static_cast<unsigned>(__builtin_ctzll(differ)) / 8;
#endif
                break;
            }
            length += 8;
        }
        length = std::min(length, kMaxMatch);
        if (length > best) {
            matchStart = current;
            best = length;
            if (length >= nice)
                break;
        }
    } while ((current = prev[current & kWindowMask]) > limit && --chain != 0);
    return std::min(best, lookahead);
}

// True when the symbol buffer is full and the block has to go out.
bool CDeflater::State::TallyLiteral(uint8_t c) {
    symbolLength[symbolCount] = c;
    symbolDistance[symbolCount] = 0;
    ++symbolCount;
    ++literalFrequency[c];
    return symbolCount == kSymbolBufferSize - 1;
}

bool CDeflater::State::TallyMatch(unsigned distance, unsigned length) {
    symbolLength[symbolCount] = static_cast<uint8_t>(length - kMinMatch);
    symbolDistance[symbolCount] = static_cast<uint16_t>(distance);
    ++symbolCount;
    ++literalFrequency[257 + tables.lengthCode[length - kMinMatch]];
    ++distanceFrequency[DistanceCode(tables, distance - 1)];
    return symbolCount == kSymbolBufferSize - 1;
}

uint64_t CDeflater::State::SymbolCost(const uint8_t* literalBits,
                                      const uint8_t* distanceBits) const {
    uint64_t cost = 0;
    for (int i = 0; i < kLiteralCodes; ++i) {
        cost += static_cast<uint64_t>(literalFrequency[i]) * literalBits[i];
        if (i > 256)
            cost += static_cast<uint64_t>(literalFrequency[i]) * kLengthExtra[i - 257];
    }
    for (int i = 0; i < kDistanceCodes; ++i)
        cost += static_cast<uint64_t>(distanceFrequency[i]) * (distanceBits[i] + kDistanceExtra[i]);
    return cost;
}

void CDeflater::State::SendSymbols(const uint16_t* literalCodes, const uint8_t* literalBits,
                                   const uint16_t* distanceCodes, const uint8_t* distanceBits) {
    for (unsigned i = 0; i < symbolCount; ++i) {
        unsigned distance = symbolDistance[i];
        unsigned value = symbolLength[i];
        if (distance == 0) {
            PutBits(literalCodes[value], literalBits[value]);
            continue;
        }
        unsigned code = tables.lengthCode[value];
        PutBits(literalCodes[257 + code], literalBits[257 + code]);
        if (kLengthExtra[code] != 0)
            PutBits(value + 3 - kLengthBase[code], kLengthExtra[code]);
        unsigned d = distance - 1;
        code = DistanceCode(tables, d);
        PutBits(distanceCodes[code], distanceBits[code]);
        if (kDistanceExtra[code] != 0)
            PutBits(distance - kDistanceBase[code], kDistanceExtra[code]);
    }
    PutBits(literalCodes[kEndOfBlock], literalBits[kEndOfBlock]);
}

// Writes the collected symbols as one block in the cheapest of the three forms.
void CDeflater::State::FlushBlock(bool last, std::vector<uint8_t>& out) {
    // Consistency: the symbols must cover exactly the bytes from the block start.
    uint64_t covered = 0;
    for (unsigned i = 0; i < symbolCount; ++i)
        covered += symbolDistance[i] == 0 ? 1 : symbolLength[i] + kMinMatch;
    int64_t blockLength = static_cast<int64_t>(strStart) - blockStart;
    if (static_cast<int64_t>(covered) != blockLength) {
        failed = true;
        return;
    }

    // Dynamic codes; each tree needs at least two codes.
    std::array<uint32_t, kLiteralCodes> literalCounts = literalFrequency;
    std::array<uint32_t, kDistanceCodes> distanceCounts = distanceFrequency;
    for (auto* counts : {literalCounts.data(), distanceCounts.data()}) {
        int size = counts == literalCounts.data() ? kLiteralCodes : kDistanceCodes;
        int present = static_cast<int>(
            std::count_if(counts, counts + size, [](uint32_t f) { return f != 0; }));
        for (int s = 0; present < 2; ++s)
            if (counts[s] == 0) {
                counts[s] = 1;
                ++present;
            }
    }
    uint8_t literalBits[kLiteralCodes], distanceBits[kDistanceCodes];
    BuildLengths(literalCounts.data(), kLiteralCodes, kMaxBits, literalBits);
    BuildLengths(distanceCounts.data(), kDistanceCodes, kMaxBits, distanceBits);
    int literalsSent = kLiteralCodes;
    while (literalsSent > 257 && literalBits[literalsSent - 1] == 0)
        --literalsSent;
    int distancesSent = kDistanceCodes;
    while (distancesSent > 1 && distanceBits[distancesSent - 1] == 0)
        --distancesSent;

    // Run-length coding of both length lists as one sequence.
    uint8_t lengths[kLiteralCodes + kDistanceCodes];
    int total = literalsSent + distancesSent;
    std::copy(literalBits, literalBits + literalsSent, lengths);
    std::copy(distanceBits, distanceBits + distancesSent, lengths + literalsSent);
    uint8_t runSymbol[kLiteralCodes + kDistanceCodes];
    uint8_t runExtra[kLiteralCodes + kDistanceCodes];
    int runs = 0;
    uint32_t lengthCodeFrequency[kLengthCodeCount] = {};
    auto addRun = [&](int symbol, int extra) {
        runSymbol[runs] = static_cast<uint8_t>(symbol);
        runExtra[runs] = static_cast<uint8_t>(extra);
        ++runs;
        ++lengthCodeFrequency[symbol];
    };
    for (int i = 0; i < total;) {
        int value = lengths[i];
        int run = 1;
        while (i + run < total && lengths[i + run] == value)
            ++run;
        i += run;
        if (value == 0) {
            while (run >= 11) {
                int n = std::min(run, 138);
                addRun(18, n - 11);
                run -= n;
            }
            if (run >= 3) {
                addRun(17, run - 3);
                run = 0;
            }
        } else {
            addRun(value, 0);
            --run;
            while (run >= 3) {
                int n = std::min(run, 6);
                addRun(16, n - 3);
                run -= n;
            }
        }
        for (; run > 0; --run)
            addRun(value, 0);
    }
    int presentCodes = 0;
    for (uint32_t f : lengthCodeFrequency)
        presentCodes += f != 0;
    for (int s = 0; presentCodes < 2; ++s)
        if (lengthCodeFrequency[s] == 0) {
            lengthCodeFrequency[s] = 1;
            ++presentCodes;
        }
    uint8_t lengthCodeBits[kLengthCodeCount];
    BuildLengths(lengthCodeFrequency, kLengthCodeCount, kMaxLengthCodeBits, lengthCodeBits);
    int lengthCodesSent = kLengthCodeCount;
    while (lengthCodesSent > 4 && lengthCodeBits[kLengthCodeOrder[lengthCodesSent - 1]] == 0)
        --lengthCodesSent;

    uint64_t dynamicCost = 3 + 5 + 5 + 4 + 3 * static_cast<uint64_t>(lengthCodesSent);
    for (int r = 0; r < runs; ++r)
        dynamicCost += lengthCodeBits[runSymbol[r]] + (runSymbol[r] == 16   ? 2
                                                       : runSymbol[r] == 17 ? 3
                                                       : runSymbol[r] == 18 ? 7
                                                                            : 0);
    dynamicCost += SymbolCost(literalBits, distanceBits);
    uint8_t fixedDistanceBits[kDistanceCodes];
    std::fill(fixedDistanceBits, fixedDistanceBits + kDistanceCodes, 5);
    uint64_t fixedCost = 3 + SymbolCost(tables.fixedLiteralBits, fixedDistanceBits);
    uint64_t storedCost = UINT64_MAX;
    if (blockStart >= 0) {
        int pad = (8 - static_cast<int>((bitCount + 3) % 8)) % 8;
        storedCost = 3 + static_cast<uint64_t>(pad) + 32 + 8 * static_cast<uint64_t>(blockLength);
    }
    uint64_t cost = std::min({dynamicCost, fixedCost, storedCost});

    size_t before = out.size();
    out.resize(before + cost / 8 + 16);
    output = out.data() + before;
    outputUsed = 0;
    uint64_t startBits = BitsWritten();
    PutBits(last ? 1 : 0, 1);
    if (cost == storedCost) {
        PutBits(0, 2);
        AlignToByte();
        uint16_t n = static_cast<uint16_t>(blockLength);
        uint8_t header[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                             static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)};
        memcpy(output + outputUsed, header, 4);
        outputUsed += 4;
        memcpy(output + outputUsed, &window[static_cast<size_t>(blockStart)], n);
        outputUsed += n;
    } else if (cost == fixedCost) {
        PutBits(1, 2);
        uint16_t fixedDistanceCodes[kDistanceCodes];
        std::copy(tables.fixedDistanceCode, tables.fixedDistanceCode + kDistanceCodes,
                  fixedDistanceCodes);
        SendSymbols(tables.fixedLiteralCode, tables.fixedLiteralBits, fixedDistanceCodes,
                    fixedDistanceBits);
    } else {
        PutBits(2, 2);
        PutBits(static_cast<uint32_t>(literalsSent - 257), 5);
        PutBits(static_cast<uint32_t>(distancesSent - 1), 5);
        PutBits(static_cast<uint32_t>(lengthCodesSent - 4), 4);
        for (int i = 0; i < lengthCodesSent; ++i)
            PutBits(lengthCodeBits[kLengthCodeOrder[i]], 3);
        uint16_t lengthCodeCodes[kLengthCodeCount];
        MakeCodes(lengthCodeBits, kLengthCodeCount, lengthCodeCodes);
        for (int r = 0; r < runs; ++r) {
            PutBits(lengthCodeCodes[runSymbol[r]], lengthCodeBits[runSymbol[r]]);
            if (runSymbol[r] >= 16)
                PutBits(runExtra[r], runSymbol[r] == 16 ? 2 : runSymbol[r] == 17 ? 3 : 7);
        }
        uint16_t literalCodes[kLiteralCodes], distanceCodes[kDistanceCodes];
        MakeCodes(literalBits, kLiteralCodes, literalCodes);
        MakeCodes(distanceBits, kDistanceCodes, distanceCodes);
        SendSymbols(literalCodes, literalBits, distanceCodes, distanceBits);
    }
    // Consistency: what went out is exactly what the block was priced at.
    if (BitsWritten() - startBits != cost)
        failed = true;
    if (last)
        AlignToByte();
    out.resize(before + outputUsed);
    output = nullptr;
    outputUsed = 0;
    blockStart = strStart;
    StartBlock();
}

bool CDeflater::State::Deflate(const uint8_t* input, size_t length, bool finish,
                               std::vector<uint8_t>& out) {
    if (failed || finished)
        return false;
    pending = input;
    pendingLength = input != nullptr ? length : 0;
    for (;;) {
        if (lookahead < kMinLookahead) {
            FillWindow();
            if (lookahead < kMinLookahead && !finish)
                return !failed;
            if (lookahead == 0)
                break;
        }
        unsigned hashHead = 0;
        if (lookahead >= kMinMatch)
            hashHead = Insert(strStart);
        prevLength = matchLength;
        prevMatch = matchStart;
        matchLength = kMinMatch - 1;
        if (hashHead != 0 && prevLength < config.maxLazy && strStart - hashHead <= kMaxDistance) {
            matchLength = LongestMatch(hashHead);
            if (matchLength == kMinMatch && strStart - matchStart > kTooFar)
                matchLength = kMinMatch - 1;
        }
        bool full = false;
        if (prevLength >= kMinMatch && matchLength <= prevLength) {
            // The previous match is at least as long: take it.
            unsigned maxInsert = strStart + lookahead - kMinMatch;
            full = TallyMatch(strStart - 1 - prevMatch, prevLength);
            lookahead -= prevLength - 1;
            for (unsigned n = prevLength - 2; n > 0; --n)
                if (++strStart <= maxInsert)
                    Insert(strStart);
            matchAvailable = false;
            matchLength = kMinMatch - 1;
            ++strStart;
        } else if (matchAvailable) {
            // The match at the current byte is longer: the previous byte goes as a literal.
            full = TallyLiteral(window[strStart - 1]);
            if (full) {
                FlushBlock(false, out);
                full = false;
            }
            ++strStart;
            --lookahead;
        } else {
            matchAvailable = true;
            ++strStart;
            --lookahead;
        }
        if (full)
            FlushBlock(false, out);
        if (failed)
            return false;
    }
    if (matchAvailable) {
        TallyLiteral(window[strStart - 1]);
        matchAvailable = false;
    }
    FlushBlock(true, out);
    finished = true;
    return !failed;
}

CDeflater::CDeflater(int level) : m_state(std::make_unique<State>(level)) {}

CDeflater::~CDeflater() = default;

bool CDeflater::Deflate(const uint8_t* input, size_t length, bool finish,
                        std::vector<uint8_t>& out) {
    return m_state->Deflate(input, length, finish, out);
}

void CDeflater::Reset() {
    m_state->Reset();
}

bool CDeflater::Compress(const uint8_t* input, size_t length, int level,
                         std::vector<uint8_t>& out) {
    CDeflater deflater(level);
    return deflater.Deflate(input, length, true, out);
}

#include "ArchiveCorpus.h"

#include <cstdio>
#include <random>
#include <string>

namespace {
const char* const kWords[] = {
    "CSkiffThread::Run",
    "download",
    "PatchClientEx",
    "HalcyonWorkstation.exe",
    "server",
    "version",
    "file",
    "compare",
    "skipped",
    "changed",
    "time stamp",
    "size",
    "bytes",
    "proxy",
    "timeout",
    "HalWebClient64",
    "dicom.dll",
    "viewer",
    "launch",
    "status",
};
} // namespace

std::vector<uint8_t> MakeLogText(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out;
    out.reserve(size + 256);
    int second = 0;
    while (out.size() < size) {
        char line[512];
        int n = snprintf(line, sizeof line, "%02d/12/26 %02d:%02d:%02d  %s",
                         1 + second / 86400 % 28, second / 3600 % 24, second / 60 % 60, second % 60,
                         random() % 17 == 0 ? "! " : "");
        std::string text(line, static_cast<size_t>(n));
        int words = 3 + static_cast<int>(random() % 9);
        for (int w = 0; w < words; ++w) {
            text += kWords[random() % (sizeof kWords / sizeof *kWords)];
            if (random() % 3 == 0)
                text += " " + std::to_string(random() % 100000);
            text += ' ';
        }
        text.back() = '\n';
        out.insert(out.end(), text.begin(), text.end());
        second += static_cast<int>(random() % 3);
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> MakeBinary(size_t size, uint32_t seed) {
    // Records of little-endian fields with slowly changing values, some tables of
    // floating-point numbers and runs of zero padding, as program and image files have.
    std::mt19937 random(seed);
    std::vector<uint8_t> out;
    out.reserve(size + 64);
    uint32_t counter = 0;
    while (out.size() < size) {
        switch (random() % 4) {
        case 0:
            for (int i = 0; i < 16; ++i) {
                uint32_t v = counter++ * 4 + (random() % 4);
                for (int b = 0; b < 4; ++b)
                    out.push_back(static_cast<uint8_t>(v >> (8 * b)));
            }
            break;
        case 1: {
            float f = static_cast<float>(random() % 1000) / 7.0f;
            for (int i = 0; i < 8; ++i, f *= 1.01f) {
                const uint8_t* p = reinterpret_cast<const uint8_t*>(&f);
                out.insert(out.end(), p, p + sizeof f);
            }
            break;
        }
        case 2:
            out.insert(out.end(), random() % 64, 0);
            break;
        default:
            for (int i = 0; i < 24; ++i)
                out.push_back(static_cast<uint8_t>(random() % (i % 3 == 0 ? 256 : 16)));
        }
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> MakeRandom(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(size);
    for (auto& b : out)
        b = static_cast<uint8_t>(random());
    return out;
}

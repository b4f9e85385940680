// Arbitrary texts as download addresses: what the URL reader accepts must be safe to put
// into a request line.
#include <cstdint>
#include <string>

#include "HttpRequestParts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string url = NormalizeUrl(text);
    int service = 0;
    std::string host, object;
    uint16_t port = 0;
    if (ParseURL(url, &service, &host, &object, &port)) {
        if (host.empty() || port == 0 || object.empty() || object[0] != '/')
            __builtin_trap();
        if (service != kServiceHttp && service != kServiceHttps)
            __builtin_trap();
        for (char c : host + object) {
            auto byte = static_cast<unsigned char>(c);
            if (byte <= 0x20 || byte >= 0x7F)
                __builtin_trap();
        }
    }
    for (const std::string& type : SplitAcceptTypes(text))
        if (type.empty() || type.find_first_of(",;") != std::string::npos)
            __builtin_trap();
    uint64_t length = 0;
    (void)ParseContentLength(text, &length);
    return 0;
}

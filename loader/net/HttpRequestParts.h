// The downloader's pure logic: URL handling, request texts, buffer growth, the throttle and
// error texts. No platform calls, so it is tested natively as well.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Scheme numbers as the URL parser reports them.
constexpr int kServiceHttp = 3;
constexpr int kServiceHttps = 4107;

// Puts "http://" before a URL that begins neither with "http://" nor "https://"
// (case-sensitive, as the loader always writes its own URLs in lower case).
std::string NormalizeUrl(const std::string& url);

// Splits an http:// or https:// URL into scheme number, host, object (path and query,
// "/" when empty, unsafe bytes percent-encoded) and port (80 or 443 when not given).
// False for another scheme, an empty host or a bad port.
bool ParseURL(const std::string& url, int* serviceType, std::string* host, std::string* object,
              uint16_t* port);

// Pieces of an accept-types text split at "," and ";", empty pieces dropped.
std::vector<std::string> SplitAcceptTypes(const std::string& acceptTypes);

// The extra request header for resuming: empty for offset 0, else an open-ended Range.
std::string RangeHeader(uint64_t resumeOffset);

// The request header that carries proxy credentials with the first request, as WinINet builds
// it after a proxy's challenge: "Proxy-Authorization: Basic <base64 of user:password>" and a
// line break.
std::string ProxyAuthorizationHeader(const std::string& user, const std::string& password);
// The Base64 form of the bytes (RFC 4648, with "=" padding).
std::string Base64(const std::string& bytes);

// The capacity the memory buffer needs for count more bytes plus a terminating zero;
// the current capacity when it is enough.
uint64_t GrowCapacity(uint64_t capacity, uint64_t used, uint64_t count);

// Milliseconds to sleep so that counter bytes in elapsedMs stay at maxRate bytes per
// millisecond; 0 when unlimited (maxRate <= 0), when no time has passed or when under the rate.
uint32_t ThrottleSleepMs(uint64_t counter, uint64_t elapsedMs, double maxRate);

// The error template with its "%s" replaced by the message; the template alone when either
// is empty.
std::string ComposeErrorText(const std::string& errorTemplate, const std::string& message);

// True when the response headers mention gzip anywhere, in any case.
bool HeadersMentionGzip(const std::string& headers);

// A Content-Length value as a decimal 64-bit number; false when it is not one.
bool ParseContentLength(const std::string& text, uint64_t* length);

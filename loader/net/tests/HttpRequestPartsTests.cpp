#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HttpRequestParts.h"

namespace {

TEST(HttpRequestParts, NormalizeUrlAddsTheSchemeCaseSensitively) {
    struct Case {
        const char* url;
        const char* expected;
    };
    for (const Case& c :
         {Case{"host/x", "http://host/x"}, Case{"http://host/x", "http://host/x"},
          Case{"https://host/x", "https://host/x"}, Case{"HTTP://host/x", "http://HTTP://host/x"},
          Case{"Https://host", "http://Https://host"}, Case{"", "http://"}})
        EXPECT_EQ(c.expected, NormalizeUrl(c.url)) << c.url;
}

TEST(HttpRequestParts, ParseUrlSplitsSchemeHostObjectAndPort) {
    struct Case {
        const char* url;
        int service;
        const char* host;
        const char* object;
        uint16_t port;
    };
    for (const Case& c : {
             Case{"http://server", kServiceHttp, "server", "/", 80},
             Case{"http://server:8080/a/b.dll?PatchClientEx", kServiceHttp, "server",
                  "/a/b.dll?PatchClientEx", 8080},
             Case{"https://127.0.0.1/x", kServiceHttps, "127.0.0.1", "/x", 443},
             Case{"https://h:8443?q", kServiceHttps, "h", "/?q", 8443},
             Case{"http://user:pw@h:81/p", kServiceHttp, "h", "/p", 81},
             Case{"http://h/My File.dll#part", kServiceHttp, "h", "/My%20File.dll", 80},
             Case{"http://h:/p", kServiceHttp, "h", "/p", 80},
             Case{"http://h:0/p", kServiceHttp, "h", "/p", 80},
             Case{"https://h:0", kServiceHttps, "h", "/", 443},
             Case{"http://[::1]:99/p", kServiceHttp, "[::1]", "/p", 99},
         }) {
        int service = 0;
        std::string host, object;
        uint16_t port = 0;
        ASSERT_TRUE(ParseURL(c.url, &service, &host, &object, &port)) << c.url;
        EXPECT_EQ(c.service, service) << c.url;
        EXPECT_EQ(c.host, host) << c.url;
        EXPECT_EQ(c.object, object) << c.url;
        EXPECT_EQ(c.port, port) << c.url;
    }
}

TEST(HttpRequestParts, ParseUrlRejectsWhatCannotBeFetched) {
    for (const char* url :
         {"", "ftp://h/x", "http://", "http:///x", "http://h:65536/", "http://h:12a/",
          "http://h:1234567/", "http://bad host/", "HTTP://h/"}) {
        int service = -1;
        std::string host = "unchanged", object;
        uint16_t port = 7;
        EXPECT_FALSE(ParseURL(url, &service, &host, &object, &port)) << url;
        EXPECT_EQ("unchanged", host) << url;
    }
}

TEST(HttpRequestParts, AcceptTypesSplitAtCommaAndSemicolon) {
    EXPECT_EQ((std::vector<std::string>{"*/*"}), SplitAcceptTypes("*/*"));
    EXPECT_EQ((std::vector<std::string>{"text/xml", "q=1", "a/b"}),
              SplitAcceptTypes(",text/xml;q=1,,a/b;"));
    EXPECT_TRUE(SplitAcceptTypes("").empty());
    EXPECT_TRUE(SplitAcceptTypes(",;").empty());
}

TEST(HttpRequestParts, RangeHeaderOnlyWhenResuming) {
    EXPECT_EQ("", RangeHeader(0));
    EXPECT_EQ("Range: bytes=1000-\r\n", RangeHeader(1000));
    EXPECT_EQ("Range: bytes=18446744073709551615-\r\n", RangeHeader(UINT64_MAX));
}

TEST(HttpRequestParts, BufferGrowsGeometricallyWithRoomForAZero) {
    struct Case {
        uint64_t capacity, used, count, expected;
    };
    for (const Case& c : {Case{0, 0, 1, 1024}, Case{0, 0, 1023, 1024}, Case{0, 0, 1024, 11264},
                          Case{1024, 1000, 23, 1024}, Case{1024, 1000, 24, 2048},
                          Case{1024, 1000, 5000, 16240}, Case{2048, 0, 2047, 2048}})
        EXPECT_EQ(c.expected, GrowCapacity(c.capacity, c.used, c.count))
            << c.capacity << " " << c.used << " " << c.count;
}

TEST(HttpRequestParts, ThrottleSleepsOnlyAboveTheRate) {
    EXPECT_EQ(0u, ThrottleSleepMs(100000, 10, 0.0));  // unlimited
    EXPECT_EQ(0u, ThrottleSleepMs(100000, 10, -1.0)); // unlimited
    EXPECT_EQ(0u, ThrottleSleepMs(100000, 0, 10.0));  // no time yet
    EXPECT_EQ(0u, ThrottleSleepMs(1000, 100, 10.0));  // exactly at the rate
    EXPECT_EQ(90u, ThrottleSleepMs(1000, 10, 10.0));  // 1000 bytes need 100 ms
    EXPECT_EQ(UINT32_MAX, ThrottleSleepMs(UINT64_MAX, 1, 1e-9));
}

TEST(HttpRequestParts, ErrorTextFillsTheTemplateWithTheMessage) {
    EXPECT_EQ("Proxy Authentication failed:Denied",
              ComposeErrorText("Proxy Authentication failed:%s", "Denied"));
    EXPECT_EQ("Create Session Failed, Error:%s",
              ComposeErrorText("Create Session Failed, Error:%s", ""));
    EXPECT_EQ("", ComposeErrorText("", "message"));
    // A message with its own "%" is copied, not interpreted.
    EXPECT_EQ("Error:100% %s done", ComposeErrorText("Error:%s", "100% %s done"));
}

TEST(HttpRequestParts, GzipIsFoundAnywhereInTheHeaders) {
    EXPECT_TRUE(HeadersMentionGzip("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n"));
    EXPECT_TRUE(HeadersMentionGzip("Content-Type: application/x-GZIP\r\n"));
    EXPECT_FALSE(HeadersMentionGzip("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n"));
    EXPECT_FALSE(HeadersMentionGzip("g-zip"));
}

TEST(HttpRequestParts, ContentLengthIsADecimalNumber) {
    struct Case {
        const char* text;
        bool ok;
        uint64_t value;
    };
    for (const Case& c :
         {Case{"0", true, 0}, Case{" 1234 ", true, 1234},
          Case{"18446744073709551615", true, UINT64_MAX}, Case{"18446744073709551616", false, 0},
          Case{"", false, 0}, Case{"12x", false, 0}, Case{"-1", false, 0}}) {
        uint64_t value = 99;
        EXPECT_EQ(c.ok, ParseContentLength(c.text, &value)) << c.text;
        if (c.ok) {
            EXPECT_EQ(c.value, value) << c.text;
        }
    }
}

} // namespace

TEST(HttpRequestParts, ProxyCredentialsAsWinINetSendsThem) {
    // RFC 4648's test vectors.
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [bytes, encoded] : vectors)
        EXPECT_EQ(encoded, Base64(bytes)) << bytes;
    EXPECT_EQ("/w==", Base64("\xff")) << "bytes above 127";
    EXPECT_EQ("Proxy-Authorization: Basic am9lOnNlY3JldA==\r\n",
              ProxyAuthorizationHeader("joe", "secret"));
    EXPECT_EQ("Proxy-Authorization: Basic am9lOg==\r\n", ProxyAuthorizationHeader("joe", ""));
}

#include <gtest/gtest.h>

#include <string>

#include "Buf.h"
#include "SessionRules.h"
#include "StringMap.h"

namespace {

TEST(SessionRules, CompareVersions) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    for (const Case& c :
         {Case{"4.0", "4.0", 0}, Case{"4.0", "4.1", -1}, Case{"4.1", "4.0", 1},
          Case{"4.0", "4.0.0", 0}, Case{"4.10", "4.9", 1}, Case{"4.9", "4.10", -1},
          Case{" 4.0 ", "4.0", 0}, Case{"4.0", "", 1}, Case{"", "", 0}, Case{"4", "4.0.1", -1},
          Case{"5", "4.99", 1}, Case{"4..1", "4.0.1", 0}, Case{"4.0a", "4.0", 1}}) {
        EXPECT_EQ(c.expected, CompareVersions(c.a, c.b)) << c.a << " vs " << c.b;
    }
}

TEST(SessionRules, ServerAddress) {
    EXPECT_EQ("srv", MakeServerAddress("srv", -1));
    EXPECT_EQ("srv", MakeServerAddress("srv", 80));
    EXPECT_EQ("srv:443", MakeServerAddress("srv", 443));
    EXPECT_EQ("srv:0", MakeServerAddress("srv", 0));
    EXPECT_EQ("srv:8080", MakeServerAddress("srv", 8080));
    EXPECT_EQ(":8080", MakeServerAddress("", 8080));
}

TEST(SessionRules, ServerFromLink) {
    struct Case {
        const char* link;
        bool ok;
        const char* protocol;
        const char* host;
        int port;
    };
    for (const Case& c :
         {Case{"http://srv:8080/HalWebServer/x?SingleStudy&id=1", true, "http://", "srv", 8080},
          Case{" HTTPS://srv/x?SingleStudy&id=1", true, "https://", "srv", -1},
          Case{"https://srv?SingleStudy&a", true, "https://", "srv", -1},
          Case{"srv/x?SingleStudy&a", false, "", "", -1},
          Case{"http:///x?SingleStudy&a", false, "", "", -1},
          Case{"http://srv:80a/x?SingleStudy&a", false, "", "", -1},
          Case{"http://srv:99999/x?SingleStudy&a", false, "", "", -1},
          Case{"http://user@srv/x?SingleStudy&a", false, "", "", -1}}) {
        std::string protocol, host;
        int port = -1;
        EXPECT_EQ(c.ok, ServerFromLink(c.link, &protocol, &host, &port)) << c.link;
        EXPECT_EQ(c.protocol, protocol) << c.link;
        EXPECT_EQ(c.host, host) << c.link;
        EXPECT_EQ(c.port, port) << c.link;
    }
}

TEST(SessionRules, RequestBodyCarriesEveryKeyInOrder) {
    CStringMap data;
    std::string file = "site = 3\nmac=true\r\nnoequals\n64bit=whatever\n";
    Buf buffer(file.data(), file.size());
    ASSERT_TRUE(data.readFromBuf(buffer, '\n', '=', true));
    EXPECT_TRUE(PrepareClientLoaderData(&data, false));
    EXPECT_EQ("64bit = false\nmac = true\nsite = 3", MakeRequestBody(data));

    CStringMap empty;
    EXPECT_FALSE(PrepareClientLoaderData(&empty, true));
    EXPECT_EQ("64bit = true", MakeRequestBody(empty));

    for (const char* value : {"True", "true ", "1", ""}) {
        CStringMap other;
        other.Set("mac", value);
        EXPECT_FALSE(PrepareClientLoaderData(&other, true)) << value;
    }
}

TEST(SessionRules, LocalClientDirectory) {
    struct Case {
        const char* version;
        bool files64bit;
        const char* expected; // nullptr: refused
    };
    for (const Case& c :
         {Case{"7.2.1", true, "7_64"}, Case{"7.2.1", false, "7"}, Case{"12.0", true, "12_64"},
          Case{"7", true, nullptr}, Case{"", false, nullptr}, Case{".5", true, nullptr},
          Case{"C:\\Windows.1", false, nullptr}, Case{"..\\x.1", false, nullptr},
          Case{"a/b.1", false, nullptr}, Case{"\\\\srv\\share.1", false, nullptr},
          Case{" .1", false, nullptr}, Case{"x\ty.1", false, nullptr}}) {
        std::string directory = "unchanged";
        bool ok = LocalClientDirectory(c.version, c.files64bit, &directory);
        EXPECT_EQ(c.expected != nullptr, ok) << c.version;
        EXPECT_EQ(c.expected ? c.expected : "unchanged", directory) << c.version;
    }
}

TEST(SessionRules, WorkstationNames) {
    EXPECT_EQ("7_64\\HalcyonWorkstation.exe", WorkstationProgramPath("7_64"));
    EXPECT_EQ("7_64-HalcyonWorkstation.exe", WorkstationSemaphoreName("7_64"));
    EXPECT_EQ("7-HalcyonWorkstation.exe", WorkstationSemaphoreName("7"));
}

TEST(SessionRules, ClientFileNamesAndUrls) {
    EXPECT_EQ("app.dll.gz", ClientFileDisplayName("bin/app.dll.gz"));
    EXPECT_EQ("a.txt", ClientFileDisplayName("a.txt"));
    EXPECT_EQ("", ClientFileDisplayName("dir/"));
    EXPECT_EQ("http://srv:8080/HalWebClient64/bin/app.dll.gz",
              ClientFileUrl("http://srv:8080", true, "bin/app.dll.gz"));
    EXPECT_EQ("https://srv/HalWebClient/a.txt", ClientFileUrl("https://srv", false, "a.txt"));
    // Names that would end or change the path stay whole.
    EXPECT_EQ("http://srv/HalWebClient64/notes%23%3F%252.txt",
              ClientFileUrl("http://srv", true, "notes#?%2.txt"));
    EXPECT_EQ("dir with space/x", EscapeUrlPathName("dir with space/x"));
}

TEST(SessionRules, TheLogKeepsOfAPasswordOnlyItsFirstCharacter) {
    EXPECT_EQ("s...", MaskedPassword("secret"));
    EXPECT_EQ("x...", MaskedPassword("x"));
    EXPECT_EQ("", MaskedPassword(""));
}

TEST(SessionRules, WorkstationParameters) {
    struct Case {
        const char* link;
        const char* proxy;
        const char* user;
        const char* password;
        const char* expected;
    };
    for (const Case& c :
         {Case{"", "", "", "", " -Whttp://srv:8080"},
          Case{"", "gw:3128", "bob", "", " -Whttp://srv:8080 -Pgw!3128 -Qbob"},
          Case{"", "10.0.0.1:8080", "", "", " -Whttp://srv:8080 -P10.0.0.1!8080"},
          Case{"", "a:b:c", "u", "p w", " -Whttp://srv:8080 -Pa!b!c -Qu -Rp w"},
          Case{"", "", "", "pw", " -Whttp://srv:8080 -Rpw"},
          Case{"http://h/x?SingleStudy&id=1", "", "", "", " -Ehttp://h/x?SingleStudy&id=1"},
          Case{"http://h/x?SingleStudy&id=1", "gw:1", "", "",
               " -Ehttp://h/x?SingleStudy&id=1 -Pgw!1"}}) {
        EXPECT_EQ(c.expected,
                  WorkstationParameters(c.link, "http://srv:8080", c.proxy, c.user, c.password));
    }
}

TEST(SessionRules, ProgressAndRate) {
    EXPECT_EQ(0, ProgressPercent(0, 300));
    EXPECT_EQ(33, ProgressPercent(100, 300));
    EXPECT_EQ(99, ProgressPercent(299, 300));
    EXPECT_EQ(100, ProgressPercent(300, 300));
    EXPECT_EQ(100, ProgressPercent(0, 0)); // files the server states as empty
    EXPECT_EQ(50, ProgressPercent(3000000000ULL, 6000000000ULL));

    EXPECT_EQ(0, DownloadRate(0, 100));
    EXPECT_EQ(0, DownloadRate(1000, 0));
    EXPECT_EQ(1000, DownloadRate(1000000, 1000));
    EXPECT_EQ(2, DownloadRate(1500, 1000)); // 1.5 rounds up
    EXPECT_EQ(1, DownloadRate(1499, 1000));
    EXPECT_EQ(0, DownloadRate(400, 1000)); // no summary below 0.5 kb/sec
}

TEST(SessionRules, StatusTextsAreCutToTheBuffer) {
    EXPECT_EQ("Web version: 7.2.1 64bit, 3 files to download",
              FormatStatusText("Web version: %s%s, %d files to download", "7.2.1", " 64bit", 3));
    std::string longVersion(5000, '7');
    std::string text = FormatStatusText("Web version: %s%s, %d files", longVersion.c_str(), "", 1);
    EXPECT_EQ(kStatusTextBufferSize - 1, text.size());
    EXPECT_EQ("Web version: 777", text.substr(0, 16));
    EXPECT_EQ(std::string(kStatusTextBufferSize - 1, 'x'),
              CutStatusText(std::string(3000, 'x').c_str()));
    EXPECT_EQ("short", CutStatusText("short"));
    // A server text is never a format: its "%s" stays as it is.
    EXPECT_EQ("100%s done", CutStatusText("100%s done"));
}

TEST(SessionRules, StatusLines) {
    using Lines = std::vector<std::string>;
    struct Case {
        const char* text;
        Lines expected;
    };
    for (const Case& c :
         {Case{"", Lines{""}}, Case{"one", Lines{"one"}},
          Case{"Halcyon is running !\n\nPlease close it and try again.",
               Lines{"Halcyon is running !", "Please close it and try again."}},
          Case{"\nfirst", Lines{"", "first"}}, Case{"a\r\n\r\nb\rc\n", Lines{"a", "b", "c"}},
          Case{"end\r\n", Lines{"end"}}, Case{"\r\n", Lines{""}}, Case{" ", Lines{" "}}}) {
        EXPECT_EQ(c.expected, SplitStatusLines(c.text)) << c.text;
    }
}

} // namespace

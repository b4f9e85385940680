// Reading, writing and comparing file lists. Local times are those of Europe/Berlin (set
// by the test environment).
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "Buf.h"
#include "PatchFilesEx.h"

namespace {

constexpr int64_t k2012_12_31_134510_Local = 1356957910;
constexpr int64_t k2020_06_01_101501_Local = 1590999301;
// Daylight saving ends 25 October 2026 at 01:00 UTC: 02:00-03:00 local comes twice.
constexpr int64_t k2026_10_25_0230_FirstLocal = 1792886400 + 1800;
constexpr int64_t k2026_10_25_0230_SecondLocal = 1792890000 + 1800;

std::string Entry(const char* name, const char* time, const char* size) {
    std::string text = "<PatchFileEntry";
    if (name)
        text += std::string(" filename=\"") + name + "\"";
    if (time)
        text += std::string(" lastWriteTime=\"") + time + "\"";
    if (size)
        text += std::string(" filesize=\"") + size + "\"";
    return text + "/>";
}

std::string List(const std::string& attributes, const std::string& entries) {
    return "<PatchFilesList " + attributes + ">" + entries + "</PatchFilesList>";
}

TEST(PatchFilesEx, ReadsTheServersDocument) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
        "<PatchFilesList serverVersion=\"7.2.1\" loaderVersion=\"3.1\" clientFiles64bit=\"true\" "
        "infoMsg=\"Maintenance &amp; more\" errorMsg=\"\">\n"
        "  <PatchFileEntry filename=\"bin/Client.DLL.gz\" lastWriteTime=\"31/12/2012 13:45:10\" "
        "filesize=\"123456\"/>\n"
        "  <Other filename=\"ignored\"/>\n"
        "  <patchfileentry FILENAME=\"sub\\b.txt\" LastWriteTime=\"1/7/2020\" FileSize=\" 7\">"
        "text is not used</patchfileentry>\n"
        "</PatchFilesList>\n";
    PatchFilesEx list;
    ASSERT_TRUE(list.FromXMLString(text.c_str()));
    EXPECT_EQ("7.2.1", list.serverVersion);
    EXPECT_EQ("3.1", list.loaderVersion);
    EXPECT_TRUE(list.clientFiles64bit);
    EXPECT_EQ("Maintenance & more", list.infoMsg);
    EXPECT_EQ("", list.errorMsg);
    ASSERT_EQ(2u, list.entries.size());
    EXPECT_EQ("bin/Client.DLL.gz", list.entries[0].fileName);
    EXPECT_EQ(k2012_12_31_134510_Local, list.entries[0].lastWriteTime);
    EXPECT_EQ(123456u, list.entries[0].fileSize);
    EXPECT_EQ("sub\\b.txt", list.entries[1].fileName);
    EXPECT_EQ(1593554400, list.entries[1].lastWriteTime); // 1 July 2020 00:00 CEST
    EXPECT_EQ(7u, list.entries[1].fileSize);

    // The same bytes from a buffer without a terminating zero; any root name will do.
    std::string other = text.substr(text.find("<PatchFilesList"));
    other.replace(1, 14, "AnyRootName123");
    other.replace(other.size() - 16, 14, "AnyRootName123");
    Buf buffer(other.data(), other.size());
    PatchFilesEx fromBuffer;
    ASSERT_TRUE(fromBuffer.FromXMLBuffer(buffer)) << other;
    EXPECT_EQ(2u, fromBuffer.entries.size());
    EXPECT_EQ("7.2.1", fromBuffer.serverVersion);
}

TEST(PatchFilesEx, RootAttributes) {
    struct Case {
        const char* attributes;
        bool clientFiles64bit;
        const char* serverVersion;
    } cases[] = {
        {"clientFiles64bit=\"true\" serverVersion=\"7\"", true, "7"},
        {"clientFiles64bit=\"TRUE\"", false, ""},
        {"clientFiles64bit=\"yes\"", false, ""},
        {"", false, ""},
        {"CLIENTFILES64BIT=\"true\" SERVERVERSION=\"8.0\"", true, "8.0"},
    };
    for (const Case& c : cases) {
        PatchFilesEx list;
        list.serverVersion = "stale";
        ASSERT_TRUE(list.FromXMLString(List(c.attributes, "").c_str())) << c.attributes;
        EXPECT_EQ(c.clientFiles64bit, list.clientFiles64bit) << c.attributes;
        EXPECT_EQ(c.serverVersion, list.serverVersion) << c.attributes;
        EXPECT_TRUE(list.entries.empty());
    }
}

TEST(PatchFilesEx, RejectsDocumentsWithAnInvalidEntry) {
    const char* good = "31/12/2012 13:45:10";
    const std::string cases[] = {
        Entry("a.dll", good, nullptr),
        Entry(nullptr, good, "1"),
        Entry("a.dll", nullptr, "1"),
        Entry("a.dll", "", "1"),
        Entry("a.dll", "Invalid DateTime", "1"),
        Entry("a.dll", "12/31/2012 13:45:10", "1"),
        Entry("a.dll", "31/12/2012 25:00:00", "1"),
        Entry("a.dll", good, "4294967296"),
    };
    for (const std::string& entry : cases) {
        PatchFilesEx list;
        EXPECT_FALSE(list.FromXMLString(List("", Entry("first.dll", good, "1") + entry).c_str()))
            << entry;
        EXPECT_EQ(1u, list.entries.size()) << entry; // entries read before stay
    }
    PatchFilesEx list;
    EXPECT_TRUE(list.FromXMLString(List("", Entry("a.dll", good, "abc")).c_str()));
    EXPECT_EQ(0u, list.entries[0].fileSize);
    EXPECT_TRUE(list.FromXMLString(List("", Entry("old.dll", "1/1/1800", "1")).c_str()));
    EXPECT_EQ(0, list.entries[1].lastWriteTime);
}

TEST(PatchFilesEx, RejectsTextsThatAreNoDocument) {
    const char* cases[] = {
        "",
        " <PatchFilesList/>",
        "\xEF\xBB\xBF<PatchFilesList/>",
        "PatchFilesList",
        "<PatchFilesList><PatchFileEntry></PatchFilesList>", // element left open
        "<PatchFilesList>",                                  // cut off
        "<PatchFilesList></Other>",
        "<PatchFilesList infoMsg=\"&bad;\"/>",
        "<>",
    };
    for (const char* text : cases) {
        PatchFilesEx list;
        EXPECT_FALSE(list.FromXMLString(text)) << text;
        Buf buffer(const_cast<char*>(text), strlen(text));
        EXPECT_FALSE(list.FromXMLBuffer(buffer)) << text;
    }
    PatchFilesEx list;
    EXPECT_FALSE(list.FromXMLString(nullptr));
    EXPECT_FALSE(list.FromXMLBuffer(Buf()));
}

TEST(PatchFilesEx, RejectsNamesThatWouldLeaveTheClientFolder) {
    struct Case {
        const char* name;
        bool accepted;
    } cases[] = {
        {"a.dll", true},
        {"bin/a.dll.gz", true},
        {"../../a.dll", true}, // the part before "/" only selects the server folder
        {"sub\\a.dll", true},
        {"sub\\.\\a.dll", true},
        {"a..b.dll", true},
        {"..a", true},
        {".hidden", true},
        {"bin/", false},
        {"", false},
        {".", false},
        {"..", false},
        {"bin/..", false},
        {"bin/.", false},
        {"\\Windows\\a.dll", false},
        {"bin/\\a.dll", false},
        {"C:\\a.dll", false},
        {"a.dll:stream", false},
        {"..\\a.dll", false},
        {"sub\\..\\..\\a.dll", false},
        {"sub\\..", false},
        {"sub\\.. \\a.dll", false},
        {"...", false},
        {"...gz", false}, // unpacks to ".."
        {"sub\\...gz", false},
        {"sub\\", false},
    };
    for (const Case& c : cases) {
        PatchFilesEx list;
        const std::string text = List("", Entry(c.name, "31/12/2012 13:45:10", "1"));
        EXPECT_EQ(c.accepted, list.FromXMLString(text.c_str())) << c.name;
        EXPECT_EQ(c.accepted, PatchFileEntry::IsSafeFileName(c.name)) << c.name;
    }
}

std::string Written(PatchFilesEx& list, bool formatted) {
    Buf out;
    if (!list.ToXMLString(&out, formatted))
        return "<failed>";
    std::string text(reinterpret_cast<char*>(out.data), out.size);
    EXPECT_EQ(strlen(reinterpret_cast<char*>(out.data)), out.size);
    out.Free();
    return text;
}

TEST(PatchFilesEx, WritesTheDocument) {
    PatchFilesEx list;
    list.serverVersion = "7.2.1";
    list.loaderVersion = "3.1";
    list.clientFiles64bit = true;
    list.infoMsg = "Hi & \"bye\"";
    list.AddEntry(PatchFileEntry("bin/a.dll", k2012_12_31_134510_Local, 12));
    list.AddEntry(PatchFileEntry("b.txt", INT64_MAX, 4294967295u));
    EXPECT_EQ("<PatchFilesList serverVersion=\"7.2.1\" loaderVersion=\"3.1\" "
              "clientFiles64bit=\"true\" infoMsg=\"Hi &amp; &quot;bye&quot;\" errorMsg=\"\">\n"
              "\t<PatchFileEntry filename=\"bin/a.dll\" lastWriteTime=\"31/12/2012 13:45:10\" "
              "filesize=\"12\"/>\n"
              "\t<PatchFileEntry filename=\"b.txt\" lastWriteTime=\"Invalid DateTime\" "
              "filesize=\"4294967295\"/>\n"
              "</PatchFilesList>\n",
              Written(list, true));

    list.entries.pop_back();
    const std::string line = Written(list, false);
    EXPECT_EQ(std::string::npos, line.find('\n'));
    PatchFilesEx back;
    ASSERT_TRUE(back.FromXMLString(line.c_str())) << line;
    EXPECT_EQ(list.serverVersion, back.serverVersion);
    EXPECT_EQ(list.loaderVersion, back.loaderVersion);
    EXPECT_EQ(list.infoMsg, back.infoMsg);
    EXPECT_TRUE(back.clientFiles64bit);
    ASSERT_EQ(1u, back.entries.size());
    EXPECT_EQ("bin/a.dll", back.entries[0].fileName);
    EXPECT_EQ(k2012_12_31_134510_Local, back.entries[0].lastWriteTime);
    EXPECT_EQ(12u, back.entries[0].fileSize);

    PatchFilesEx empty;
    EXPECT_EQ("<PatchFilesList serverVersion=\"\" loaderVersion=\"\" clientFiles64bit=\"false\" "
              "infoMsg=\"\" errorMsg=\"\"/>",
              Written(empty, false));
    EXPECT_FALSE(empty.ToXMLString(nullptr, false));
}

TEST(PatchFilesEx, CompareDecidesPerFile) {
    const int64_t t = k2020_06_01_101501_Local; // 10:15:01
    struct Case {
        const char* serverName;
        int64_t serverTime;
        const char* localName; // nullptr: no local file
        int64_t localTime;
        bool download;
    } cases[] = {
        {"Client.DLL.gz", t, "client.dll", t + 58, false}, // 10:15:59 counts as equal
        {"Client.DLL.gz", t, "client.dll", t - 2, true},   // 10:14:59 is older
        {"client.dll", t, "CLIENT.DLL", t + 3600, false},
        {"Client.DLL.GZ", t, "client.dll", t + 3600, true}, // ".GZ" is not removed
        {"client.dll", t, "client.dll.gz", t + 3600, false},
        {"halcyonlocal.mdb", t + 86400, "HalcyonLocal.mdb", t, false},
        {"halcyonlocal.mdb", t, nullptr, 0, true},
        {"HalcyonWorkstationConfig.txt.gz", t + 86400, "halcyonworkstationconfig.txt", t, false},
        {"bin/app.dll", t, "app.dll", t + 3600, true}, // names with "/" never match
        {"new.dll", t, nullptr, 0, true},
        {"before1970.dll", -61, "before1970.dll", -120, false}, // both 31/12/1969 23:58 UTC
        {"before1970.dll", -60, "before1970.dll", -61, true},
        {"dst.dll", k2026_10_25_0230_SecondLocal, "dst.dll", k2026_10_25_0230_FirstLocal, true},
        {"dst.dll", k2026_10_25_0230_FirstLocal, "dst.dll", k2026_10_25_0230_SecondLocal, false},
        {"dst.dll", k2026_10_25_0230_SecondLocal, "dst.dll", k2026_10_25_0230_SecondLocal + 59,
         false},
    };
    for (const Case& c : cases) {
        PatchFilesEx server, local, out;
        server.AddEntry(PatchFileEntry(c.serverName, c.serverTime, 77));
        if (c.localName)
            local.AddEntry(PatchFileEntry(c.localName, c.localTime, 1));
        ASSERT_TRUE(server.Compare(&local, &out));
        ASSERT_EQ(c.download ? 1u : 0u, out.entries.size()) << c.serverName << " " << c.localName;
        if (c.download) {
            EXPECT_EQ(c.serverName, out.entries[0].fileName);
            EXPECT_EQ(c.serverTime, out.entries[0].lastWriteTime);
            EXPECT_EQ(77u, out.entries[0].fileSize);
        }
    }
}

TEST(PatchFilesEx, CompareKeepsServerOrderAndAppends) {
    const int64_t t = k2020_06_01_101501_Local;
    PatchFilesEx server, local, out;
    for (const char* name : {"c.dll", "a.dll", "b.dll", "d.dll"})
        server.AddEntry(PatchFileEntry(name, t, 1));
    // Any local entry of the same name decides, not only the first.
    local.AddEntry(PatchFileEntry("a.dll", t - 600, 1));
    local.AddEntry(PatchFileEntry("A.DLL", t + 600, 1));
    local.AddEntry(PatchFileEntry("b.dll", t - 600, 1));
    out.AddEntry(PatchFileEntry("earlier.dll", 0, 0));
    ASSERT_TRUE(server.Compare(&local, &out));
    ASSERT_EQ(4u, out.entries.size());
    EXPECT_EQ("earlier.dll", out.entries[0].fileName);
    EXPECT_EQ("c.dll", out.entries[1].fileName);
    EXPECT_EQ("b.dll", out.entries[2].fileName);
    EXPECT_EQ("d.dll", out.entries[3].fileName);

    PatchFilesEx all;
    EXPECT_TRUE(server.Compare(nullptr, &all));
    EXPECT_EQ(4u, all.entries.size());
    EXPECT_FALSE(server.Compare(&local, nullptr));
}

} // namespace

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Buf.h"
#include "CallerError.h"
#include "EnhancedStringArray.h"
#include "StringMap.h"
#include "Text.h"

namespace {

struct SplitCase {
    const char* separator;
    const char* text;
    std::vector<std::string> items;
};

TEST(EnhancedStringArray, SplitsAtEveryOccurrenceOfTheSeparator) {
    const SplitCase cases[] = {
        {";", "a;b", {"a", "b"}},
        {";", ";a;;b;", {"a", "", "b", ""}},
        {";", "", {""}},
        {";", "x", {"x"}},
        {";", ";", {""}},
        {"\r\n", "a\r\nb\rc\nd\r\n", {"a", "b\rc\nd", ""}},
        {"\n", "line1\nline2", {"line1", "line2"}},
        {"ab", "xabyabab", {"x", "y", "", ""}},
    };
    for (const SplitCase& c : cases) {
        CEnhancedStringArray array;
        int count = array.Split(c.separator, c.text);
        EXPECT_EQ(static_cast<int>(c.items.size()), count) << c.text;
        EXPECT_EQ(c.items, static_cast<std::vector<std::string>&>(array)) << c.text;
    }
}

TEST(EnhancedStringArray, ReplacesEarlierContentsAndRejectsNoSeparator) {
    CEnhancedStringArray array(";", "a;b;c");
    ASSERT_EQ(3u, array.size());
    EXPECT_EQ(0, array.Split("", "a;b"));
    EXPECT_TRUE(array.empty());
    EXPECT_EQ(1, array.Split(",", "a;b"));
    EXPECT_EQ("a;b", array[0]);
}

TEST(EnhancedStringArray, NullTextIsACallerError) {
    CEnhancedStringArray array;
    EXPECT_CALLER_ERROR(array.Split(nullptr, "a"), 0);
    EXPECT_CALLER_ERROR(array.Split(";", nullptr), 0);
}

TEST(StringMap, AnswersMissingKeysByItsFlag) {
    CStringMap plain;
    CStringMap marked(true);
    EXPECT_EQ("", plain.Get("nothing"));
    EXPECT_EQ("^*%$BADSTRING!)&#", marked.Get("nothing"));
    marked.Set("k", "v");
    EXPECT_EQ("v", marked.Get("k"));
    EXPECT_EQ("^*%$BADSTRING!)&#", marked.Get("K")) << "keys are case-sensitive";
}

TEST(StringMap, SetReplacesAndKeepsOnePairPerKey) {
    CStringMap map;
    map.Set("a", "1");
    map.Set("a", "2");
    EXPECT_EQ(1u, map.GetCount());
    EXPECT_EQ("2", map.Get("a"));
}

TEST(StringMap, HoldsManyKeys) {
    CStringMap map;
    for (int i = 0; i < 500; ++i)
        map.Set(("key" + std::to_string(i)).c_str(), std::to_string(i * 7).c_str());
    EXPECT_EQ(500u, map.GetCount());
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(std::to_string(i * 7), map.Get(("key" + std::to_string(i)).c_str()));
}

TEST(StringMap, ToTextSortsJoinsAndLeavesOutEmptyKeys) {
    CStringMap map;
    EXPECT_EQ("", map.ToText(" | ", " = ", 1));
    map.Set("b", "2");
    map.Set("", "hidden");
    map.Set("a", "1");
    map.Set("c", "3");
    EXPECT_EQ("a = 1 | b = 2 | c = 3", map.ToText(" | ", " = ", 1));
    EXPECT_EQ("c = 3 | b = 2 | a = 1", map.ToText(" | ", " = ", -1));

    std::string unordered = map.ToText("|", "=", 0);
    EXPECT_EQ(11u, unordered.size());
    for (const char* item : {"a=1", "b=2", "c=3"})
        EXPECT_NE(std::string::npos, unordered.find(item)) << unordered;
    EXPECT_EQ(std::string::npos, unordered.find("hidden"));
}

TEST(StringMap, IteratesEveryPairOnce) {
    CStringMap map;
    map.Set("x", "1");
    map.Set("y", "2");
    map.Set("x", "3");
    std::vector<std::string> seen;
    map.ForEach([&](const std::string& k, const std::string& v) { seen.push_back(k + v); });
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ((std::vector<std::string>{"x3", "y2"}), seen);
}

struct ReadCase {
    std::string bytes;
    bool trim;
    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<std::string> absent;
};

TEST(StringMap, ReadFromBufStoresKeyValueLines) {
    const ReadCase cases[] = {
        {"a = 1\r\nb=2\nnoequals\n", true, {{"a", "1"}, {"b", "2"}}, {"noequals"}},
        {"a = 1\r\n", false, {{"a ", " 1\r"}}, {"a"}},
        {std::string("c=x\x07y\n"), true, {{"c", "x\ny"}}, {}},
        {"k=v=w\n", true, {{"k", "v=w"}}, {}},
        {"k=1\nk=2\n", true, {{"k", "2"}}, {}},
        {"last=line", true, {{"last", "line"}}, {}},
        {std::string("a=1\0b=2\n", 8), true, {{"a", "1"}}, {"b"}},
        {"\t key \t=\v value \f\n", true, {{"key", "value"}}, {}},
        {"", true, {}, {""}},
    };
    for (const ReadCase& c : cases) {
        CStringMap map;
        Buf buffer(const_cast<char*>(c.bytes.data()), c.bytes.size());
        EXPECT_TRUE(map.readFromBuf(buffer, '\n', '=', c.trim));
        for (const auto& [key, value] : c.pairs) {
            EXPECT_TRUE(map.Contains(key.c_str())) << key;
            EXPECT_EQ(value, map.Get(key.c_str())) << key;
        }
        for (const std::string& key : c.absent)
            EXPECT_FALSE(map.Contains(key.c_str())) << key;
        EXPECT_EQ(c.pairs.size(), map.GetCount());
    }
}

TEST(StringMap, ReadFromBufRefusesABlockWithoutMemory) {
    CStringMap map;
    Buf broken(nullptr, 10);
    EXPECT_FALSE(map.readFromBuf(broken, '\n', '=', true));
    Buf empty;
    EXPECT_TRUE(map.readFromBuf(empty, '\n', '=', true));
}

TEST(FormatText, FormatsWithPrintfRules) {
    EXPECT_EQ("a-42-x-3.50", FormatText("%s-%d-%c-%.2f", "a", 42, 'x', 3.5));
    EXPECT_EQ("", FormatText("%s", ""));
    EXPECT_EQ("18446744073709551615", FormatText("%llu", 18446744073709551615ull));
}

TEST(FormatText, CutsLongOutputAt8999Characters) {
    const std::string long10000(10000, 'q');
    std::string text = FormatText("%s", long10000.c_str());
    EXPECT_EQ(8999u, text.size());
    EXPECT_EQ(long10000.substr(0, 8999), text);
    EXPECT_EQ(8999u, FormatText("%s", std::string(8999, 'z').c_str()).size());
    EXPECT_EQ(8998u, FormatText("%s", std::string(8998, 'z').c_str()).size());
}

TEST(FormatText, NullFormatIsACallerError) {
    EXPECT_CALLER_ERROR(FormatText(nullptr), std::string());
}

TEST(Trim, RemovesTheLoadersWhiteSpaceOnly) {
    EXPECT_EQ("a b", Trim(" \t\r\n\v\fa b\f\v\n\r\t "));
    EXPECT_EQ("", Trim(" \t "));
    EXPECT_EQ("\x01x", Trim("\x01x"));
}

} // namespace

TEST(Text, BeginningsAndEndings) {
    const struct {
        const char* text;
        const char* part;
        bool starts, startsNoCase, ends;
    } cases[] = {
        {"http://srv", "http://", true, true, false},
        {"HTTP://srv", "http://", false, true, false},
        {"archive.gz", ".gz", false, false, true},
        {"archive.GZ", ".gz", false, false, false},
        {"gz", "archive.gz", false, false, false},
        {"", "", true, true, true},
        {"abc", "", true, true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StartsWith(c.text, c.part), c.starts) << c.text << " / " << c.part;
        EXPECT_EQ(StartsWithNoCase(c.text, c.part), c.startsNoCase) << c.text << " / " << c.part;
        EXPECT_EQ(EndsWith(c.text, c.part), c.ends) << c.text << " / " << c.part;
    }
}

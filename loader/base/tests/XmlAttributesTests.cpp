// Typed attributes. Local times are those of Europe/Berlin (set by the test environment).
#include <gtest/gtest.h>

#include "XmlAttributes.h"

namespace {

XmlNode Element(const char* attributes) {
    std::string text = std::string("<e ") + attributes + "/>";
    return ParseXml(text.c_str());
}

TEST(XmlAttributes, TextAttribute) {
    XmlNode e = Element("Name='value' bare");
    std::string text = "old";
    EXPECT_TRUE(ReadTextAttribute(e, "name", text));
    EXPECT_EQ("value", text);
    EXPECT_TRUE(ReadTextAttribute(e, "bare", text));
    EXPECT_EQ("", text);
    text = "kept";
    EXPECT_FALSE(ReadTextAttribute(e, "missing", text));
    EXPECT_FALSE(ReadTextAttribute(XmlNode(), "name", text));
    EXPECT_EQ("kept", text);
}

TEST(XmlAttributes, NumbersReadLikeAtol) {
    struct Case {
        const char* text;
        bool intOk;
        int32_t intValue;
        bool uintOk;
        uint32_t uintValue;
    } cases[] = {
        {"42", true, 42, true, 42},
        {"  +7xyz", true, 7, true, 7},
        {"abc", true, 0, true, 0},
        {"", true, 0, true, 0},
        {"-5", true, -5, true, 4294967291u},
        {"2147483647", true, 2147483647, true, 2147483647u},
        {"2147483648", false, 0, true, 2147483648u},
        {"-2147483648", true, INT32_MIN, true, 2147483648u},
        {"4294967295", false, 0, true, 4294967295u},
        {"4294967296", false, 0, false, 0},
        {"99999999999999999999999", false, 0, false, 0},
    };
    for (const Case& c : cases) {
        XmlNode e = Element((std::string("v='") + c.text + "'").c_str());
        int32_t i = 0;
        uint32_t u = 0;
        EXPECT_EQ(c.intOk, ReadIntAttribute(e, "v", i)) << c.text;
        EXPECT_EQ(c.uintOk, ReadUIntAttribute(e, "v", u)) << c.text;
        if (c.intOk) {
            EXPECT_EQ(c.intValue, i) << c.text;
        }
        if (c.uintOk) {
            EXPECT_EQ(c.uintValue, u) << c.text;
        }
    }
    int32_t i = 0;
    EXPECT_FALSE(ReadIntAttribute(Element("w='1'"), "v", i));
}

TEST(XmlAttributes, DateAttribute) {
    DateTime value;
    ASSERT_TRUE(ReadDateAttribute(Element("d='25/12/2020 10:00:00'"), "d", value));
    EXPECT_TRUE(value.IsValid());
    EXPECT_EQ("25/12/2020 10:00:00", FormatDate(value, false, true, true));
    ASSERT_TRUE(ReadDateAttribute(Element("d='3/1/2021'"), "d", value));
    EXPECT_EQ("03/01/2021 00:00:00", FormatDate(value, false, true, true));

    ASSERT_TRUE(ReadDateAttribute(Element("d='Invalid DateTime'"), "d", value));
    EXPECT_EQ(DateTime::invalid, value.status);
    ASSERT_TRUE(ReadDateAttribute(Element("d=''"), "d", value));
    EXPECT_EQ(DateTime::null, value.status);
    ASSERT_TRUE(ReadDateAttribute(Element("x='1'"), "d", value));
    EXPECT_EQ(DateTime::null, value.status);

    for (const char* bad : {"12/25/2020 10:00:00", "yesterday", "31/02/2020", "1/1/20"})
        EXPECT_FALSE(
            ReadDateAttribute(Element((std::string("d='") + bad + "'").c_str()), "d", value))
            << bad;
    EXPECT_FALSE(ReadDateAttribute(XmlNode(), "d", value));
}

TEST(XmlAttributes, TimeAttribute) {
    int64_t seconds = -1;
    ASSERT_TRUE(ReadTimeAttribute(Element("t='31/12/2012 13:45:10'"), "t", seconds));
    EXPECT_EQ(1356957910, seconds); // 12:45:10 UTC
    ASSERT_TRUE(ReadTimeAttribute(Element("t='01/07/2020 12:00:00'"), "t", seconds));
    EXPECT_EQ(1593597600, seconds); // summer time: 10:00 UTC
    ASSERT_TRUE(ReadTimeAttribute(Element("t='01/01/1899 12:00:00'"), "t", seconds));
    EXPECT_EQ(0, seconds);
    for (const char* bad : {"", "Invalid DateTime", "no date"})
        EXPECT_FALSE(
            ReadTimeAttribute(Element((std::string("t='") + bad + "'").c_str()), "t", seconds))
            << bad;
    EXPECT_FALSE(ReadTimeAttribute(Element("x='1'"), "t", seconds));
}

TEST(XmlAttributes, WritersProduceWhatReadersRead) {
    XmlNode e = CreateTopNode("e", false);
    EXPECT_TRUE(WriteTextAttribute(e, "s", "a&b"));
    EXPECT_TRUE(WriteUIntAttribute(e, "u", 4294967295u));
    EXPECT_TRUE(WriteDateAttribute(e, "d", MakeDateTime(2020, 12, 25, 10, 0, 0)));
    EXPECT_TRUE(WriteDateAttribute(e, "n", DateTime{0, DateTime::null}));
    EXPECT_TRUE(WriteDateAttribute(e, "i", DateTime{0, DateTime::invalid}));
    EXPECT_TRUE(WriteTimeAttribute(e, "t", 1356957910));
    EXPECT_FALSE(WriteTextAttribute(XmlNode(), "s", "x"));
    EXPECT_FALSE(WriteTimeAttribute(e, "bad", INT64_MAX));

    char* text = ToXmlText(e, false);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("<e s=\"a&amp;b\" u=\"4294967295\" d=\"25/12/2020 10:00:00\" n=\"\" "
                 "i=\"Invalid DateTime\" t=\"31/12/2012 13:45:10\"/>",
                 text);
    XmlNode back = ParseXml(text);
    free(text);
    std::string s;
    uint32_t u = 0;
    int64_t t = 0;
    EXPECT_TRUE(ReadTextAttribute(back, "s", s));
    EXPECT_EQ("a&b", s);
    EXPECT_TRUE(ReadUIntAttribute(back, "u", u));
    EXPECT_EQ(4294967295u, u);
    EXPECT_TRUE(ReadTimeAttribute(back, "t", t));
    EXPECT_EQ(1356957910, t);
}

} // namespace

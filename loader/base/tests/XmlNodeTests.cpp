#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "XmlNode.h"

namespace {

std::string Write(const XmlNode& node, bool formatted) {
    size_t length = 99;
    char* text = ToXmlText(node, formatted, &length);
    if (!text)
        return "<none>";
    std::string result(text, length);
    EXPECT_EQ(strlen(text), length);
    free(text);
    return result;
}

TEST(ParseXml, ErrorCodesWithLineAndColumn) {
    struct Case {
        const char* text;
        int32_t error;
        int32_t line, column;
        bool hasResult;
    } cases[] = {
        {"<a><b></a>", kXmlElementLeftOpen, 1, 7, true},
        {"<a></b>", kXmlUnmatchedEndTag, 1, 4, false},
        {"</x>", kXmlNoElement, 1, 5, true},
        {"", kXmlNoElement, 1, 1, true},
        {"just text", kXmlNoElement, 1, 10, true},
        {"<>", kXmlNoTagName, 1, 1, false},
        {"<a>\n  <", kXmlNoTagName, 2, 3, false},
        {"<a></>", kXmlBadEndTag, 1, 4, false},
        {"<a></a", kXmlBadEndTag, 1, 4, false},
        {"<a x=1 = 2>", kXmlUnexpectedToken, 1, 8, false},
        {"<a x=>", kXmlUnexpectedToken, 1, 6, false},
        {"<a", kXmlUnexpectedToken, 1, 3, false},
        {"<a><!-- open", kXmlUnclosedSection, 1, 4, false},
        {"<a><![CDATA[x]]", kXmlUnclosedSection, 1, 4, false},
        {"<a>&foo;</a>", kXmlBadEntity, 1, 4, false},
        {"<a>&#12x;</a>", kXmlBadEntity, 1, 4, false},
        {"<a>&#65</a>", kXmlBadEntity, 1, 4, false},
        {"<a>&</a>", kXmlBadEntity, 1, 4, false},
        {"<a x='&bad;'/>", kXmlBadEntity, 1, 7, false},
        {"<a>&#300;</a>", kXmlCharacterTooLarge, 1, 4, false},
        {"<a>&#x100;</a>", kXmlCharacterTooLarge, 1, 4, false},
        {"<a>\xC3\xA4\xE2\x82\xAC<</a>", kXmlNoTagName, 1, 6, false},
        {"<a>", kXmlElementLeftOpen, 1, 4, true},
        {"<a/>", kXmlNoError, 0, 0, true},
    };
    for (const Case& c : cases) {
        XmlResults results;
        XmlNode node = ParseXml(c.text, nullptr, &results);
        EXPECT_EQ(c.error, results.error) << c.text;
        EXPECT_EQ(c.line, results.line) << c.text;
        EXPECT_EQ(c.column, results.column) << c.text;
        EXPECT_EQ(c.hasResult, !node.IsEmpty()) << c.text;
    }
}

TEST(ParseXml, NoTextGivesErrorNineAtZero) {
    XmlResults results;
    results.line = 5;
    EXPECT_TRUE(ParseXml(nullptr, nullptr, &results).IsEmpty());
    EXPECT_EQ(kXmlNoText, results.error);
    EXPECT_EQ(0, results.line);
    EXPECT_EQ(0, results.column);
}

TEST(ParseXml, LeftOpenElementIsClosedByItsAncestor) {
    XmlResults results;
    XmlNode a = ParseXml("<a><b></a>", nullptr, &results);
    EXPECT_EQ(kXmlElementLeftOpen, results.error);
    EXPECT_STREQ("a", GetName(a));
    ASSERT_EQ(1, ChildCount(a));
    EXPECT_STREQ("b", GetName(GetChildAt(a, 0)));
    EXPECT_EQ(0, ChildCount(GetChildAt(a, 0)));
}

TEST(ParseXml, TopTagSelection) {
    struct Case {
        const char* text;
        const char* top;
        const char* name;
        int32_t error;
    } cases[] = {
        {"  <a/>  ", "a", "a", kXmlNoError},
        {"  <a/>  ", "A", "a", kXmlNoError},
        {"  <a/>  ", "b", nullptr, kXmlTopTagNotFound},
        {"<r><x/><b i='1'/><b i='2'/></r>", "b", "b", kXmlNoError},
        {"<?xml version='1.0'?><r/>", "r", "r", kXmlNoError},
        {"</x>", "x", nullptr, kXmlTopTagNotFound},
    };
    for (const Case& c : cases) {
        XmlResults results;
        XmlNode node = ParseXml(c.text, c.top, &results);
        EXPECT_EQ(c.error, results.error) << c.text;
        if (c.name)
            EXPECT_STREQ(c.name, GetName(node)) << c.text;
        else
            EXPECT_TRUE(node.IsEmpty()) << c.text;
    }
    XmlNode b = ParseXml("<r><b i='1'/><b i='2'/></r>", "b", nullptr);
    EXPECT_STREQ("1", GetAttribute(b, "i"));
}

TEST(ParseXml, DeclarationTakesTheRestAtTheTopOnly) {
    XmlNode declaration = ParseXml("<?xml version='1.0' ?><r><?pi a?><c/></r>");
    ASSERT_TRUE(IsDeclaration(declaration));
    EXPECT_STREQ("xml", GetName(declaration));
    EXPECT_STREQ("1.0", GetAttribute(declaration, "version"));
    EXPECT_EQ(1, AttributeCount(declaration));
    XmlNode r = GetChildAt(declaration, 0);
    EXPECT_STREQ("r", GetName(r));
    ASSERT_EQ(2, ChildCount(r));
    EXPECT_TRUE(IsDeclaration(GetChildAt(r, 0)));
    EXPECT_EQ(0, ChildCount(GetChildAt(r, 0)));
    EXPECT_STREQ("c", GetName(GetChildAt(r, 1)));

    XmlNode shortForm = ParseXml("<?xml?><r/>");
    EXPECT_STREQ("xml", GetName(shortForm));
    EXPECT_EQ(0, AttributeCount(shortForm));
    EXPECT_EQ(1, ChildCount(shortForm));
}

TEST(ParseXml, EntitiesAndNumericReferences) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"<a>&#65;&#x42;&LT;</a>", "AB<"},
        {"<a>&amp;&lt;&gt;&quot;&apos;</a>", "&<>\"'"},
        {"<a>&Amp;&#X4a;&#x4A;&#255;</a>", "&JJ\xFF"},
        {"<a>x&#;y</a>", "x"}, // a zero byte ends the stored text
    };
    for (const Case& c : cases) {
        XmlResults results;
        XmlNode a = ParseXml(c.text, nullptr, &results);
        EXPECT_EQ(kXmlNoError, results.error) << c.text;
        EXPECT_STREQ(c.expected, GetText(a, 0)) << c.text;
    }
    XmlNode a = ParseXml("<a v=\"1 &lt; 2\" w=x&amp;y/>");
    EXPECT_STREQ("1 < 2", GetAttribute(a, "v"));
    EXPECT_STREQ("x&y", GetAttribute(a, "w"));
}

TEST(ParseXml, AttributesAndTokens) {
    XmlNode a = ParseXml("<a one=\"1\" two='2' three=3 flag Dup='x' dup=\"y\" q='it\"s'/>");
    EXPECT_EQ(7, AttributeCount(a));
    EXPECT_STREQ("1", GetAttribute(a, "ONE"));
    EXPECT_STREQ("2", GetAttribute(a, "two"));
    EXPECT_STREQ("3", GetAttribute(a, "three"));
    EXPECT_EQ(nullptr, GetAttribute(a, "flag"));
    EXPECT_EQ(nullptr, GetAttribute(a, "missing"));
    EXPECT_STREQ("it\"s", GetAttribute(a, "q"));
    int position = 0;
    EXPECT_STREQ("x", GetAttribute(a, "dup", &position));
    EXPECT_STREQ("y", GetAttribute(a, "dup", &position));
    EXPECT_EQ(nullptr, GetAttribute(a, "dup", &position));

    // A quote that meets "<" before its closing quote starts a plain word.
    XmlNode b = ParseXml("<b v=\"ab <c/>");
    EXPECT_EQ(nullptr, GetName(b));
    XmlResults results;
    ParseXml("<b v=\"ab></b>", nullptr, &results);
    EXPECT_EQ(kXmlNoError, results.error);
    EXPECT_STREQ("\"ab", GetAttribute(ParseXml("<b v=\"ab></b>"), "v"));
}

TEST(ParseXml, TextsAreTrimmedAndCommentsJoined) {
    XmlNode a = ParseXml("<a>one<!--c-->two</a>");
    ASSERT_EQ(1, TextCount(a));
    EXPECT_STREQ("onetwo", GetText(a, 0));
    EXPECT_EQ(0, ClearCount(a));
    std::string many = "<a>";
    std::string joined;
    for (int i = 0; i < 200; ++i) {
        many += std::to_string(i) + "<!-- " + std::to_string(i) + " -->";
        joined += std::to_string(i);
    }
    XmlNode longRun = ParseXml((many + "end</a>").c_str());
    EXPECT_EQ(joined + "end", GetText(longRun, 0));
    EXPECT_EQ(0, ClearCount(longRun));

    XmlNode b = ParseXml("<b>\n\t  lead  <c/>  \r\n</b>");
    EXPECT_EQ(1, TextCount(b));
    EXPECT_STREQ("lead", GetText(b, 0));
    EXPECT_EQ(2, ElementCount(b));

    SetXmlCommentJoining(false);
    XmlNode kept = ParseXml("<a>one<!--c-->two</a>");
    SetXmlCommentJoining(true);
    EXPECT_EQ(2, TextCount(kept));
    EXPECT_EQ(1, ClearCount(kept));

    SetXmlWhiteSpaceHandling(false);
    XmlNode raw = ParseXml("<b> x </b>");
    std::string line = Write(raw, true);
    SetXmlWhiteSpaceHandling(true);
    EXPECT_STREQ(" x ", GetText(raw, 0));
    EXPECT_EQ("<b> x </b>", line);
}

TEST(ParseXml, VerbatimSectionsKeepTheirBytes) {
    struct Case {
        const char* text;
        const char* value;
        const char* open;
        const char* close;
    } cases[] = {
        {"<a><![CDATA[ <x> & ]]></a>", " <x> & ", "<![CDATA[", "]]>"},
        {"<a><!-- note --></a>", " note ", "<!--", "-->"},
        {"<a><PRE> <b>&\n</PRE></a>", " <b>&\n", "<PRE>", "</PRE>"},
        {"<a><!DOCTYPE html></a>", " html", "<!DOCTYPE", ">"},
        {"<a><!DOCTYPE r [<!ENTITY e 'v'>]></a>", " r [<!ENTITY e 'v'>", "<!DOCTYPE", "]>"},
    };
    for (const Case& c : cases) {
        XmlNode a = ParseXml(c.text);
        ASSERT_EQ(1, ClearCount(a)) << c.text;
        XmlClear clear = GetClear(a, 0);
        EXPECT_STREQ(c.value, clear.value);
        EXPECT_STREQ(c.open, clear.openMarker);
        EXPECT_STREQ(c.close, clear.closeMarker);
        EXPECT_EQ(c.text, Write(a, false));
    }
    // Lower-case pre is an ordinary element.
    EXPECT_EQ(1, ChildCount(ParseXml("<a><pre>x</pre></a>")));
}

TEST(ParseXml, LengthBoundedAndNeverChangesTheText) {
    const char text[] = "<a x='1'>t</a><b/>";
    XmlResults results;
    XmlNode a = ParseXml(text, 14, nullptr, &results);
    EXPECT_EQ(kXmlNoError, results.error);
    EXPECT_STREQ("a", GetName(a));
    EXPECT_STREQ("<a x='1'>t</a><b/>", text);
    // A zero byte ends the text early.
    const char withZero[] = "<a/>\0<b/>";
    EXPECT_STREQ("a", GetName(ParseXml(withZero, sizeof withZero - 1, nullptr, nullptr)));
}

TEST(ParseXml, NodesOutliveTheirParentHandles) {
    XmlNode child;
    {
        XmlNode root = ParseXml("<r><c n='v'/></r>");
        child = GetChild(root, "c");
    }
    EXPECT_STREQ("v", GetAttribute(child, "n"));
    EXPECT_STREQ("r", GetName(GetParent(child)));
}

TEST(ParseXml, DeepNestingNeedsNoStack) {
    const int depth = 100000;
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<d>";
    text += "x";
    for (int i = 0; i < depth; ++i)
        text += "</d>";
    XmlResults results;
    XmlNode top = ParseXml(text.c_str(), nullptr, &results);
    ASSERT_EQ(kXmlNoError, results.error);
    XmlNode node = top;
    int levels = 1;
    while (ChildCount(node) == 1) {
        node = GetChildAt(node, 0);
        ++levels;
    }
    EXPECT_EQ(depth, levels);
    EXPECT_STREQ("x", GetText(node, 0));
    EXPECT_EQ(text, Write(top, false));
    // Indented, it would need about 5 GB of tabs: more than a text may hold.
    size_t length = 1;
    EXPECT_EQ(nullptr, ToXmlText(top, true, &length));
    EXPECT_EQ(0u, length);

    // Left open: every level is closed at the end of the text.
    ParseXml(text.substr(0, depth * 3).c_str(), nullptr, &results);
    EXPECT_EQ(kXmlElementLeftOpen, results.error);
}

TEST(ToXmlText, FormattedAndOneLine) {
    XmlNode a =
        ParseXml("<?xml version=\"1.0\"?><a x=\"1\"><b/>text<!--c--><c><d y=\"2\"/></c></a>");
    EXPECT_EQ("<?xml version=\"1.0\"?>\n"
              "<a x=\"1\">\n"
              "\t<b/>\n"
              "\ttext\n"
              "\t<!--c-->\n"
              "\t<c>\n"
              "\t\t<d y=\"2\"/>\n"
              "\t</c>\n"
              "</a>\n",
              Write(a, true));
    EXPECT_EQ("<?xml version=\"1.0\"?><a x=\"1\"><b/>text<!--c--><c><d y=\"2\"/></c></a>",
              Write(a, false));
}

TEST(ToXmlText, EncodesValuesAndTexts) {
    XmlNode e = CreateTopNode("e", false);
    AddAttribute(e, "n", "a&b\"c'd<>");
    AddAttribute(e, "bare", nullptr);
    AddAttribute(e, "", "skipped");
    EXPECT_EQ("<e n=\"a&amp;b&quot;c&apos;d&lt;&gt;\" bare/>", Write(e, false));
    XmlNode one = CreateTopNode("e", false);
    AddAttribute(one, "n", "v");
    EXPECT_EQ("<e n=\"v\"/>\n", Write(one, true));
    AddText(one, "1 < 2 \xC3\xA4");
    EXPECT_EQ("<e n=\"v\">1 &lt; 2 \xC3\xA4</e>", Write(one, false));
    size_t length = 7;
    EXPECT_EQ(nullptr, ToXmlText(XmlNode(), true, &length));
    EXPECT_EQ(0u, length);
}

TEST(Building, InsertsInDocumentOrder) {
    XmlNode top = CreateTopNode("top", false);
    XmlNode first = AddChild(top, "first");
    AddText(top, "t1");
    XmlNode last = AddChild(top, "last");
    AddChild(top, "middle", false, 1);
    AddText(top, "t0", 0);
    AddClear(top, "raw");
    AddClear(top, "note", "<!--", "-->", 0);
    EXPECT_EQ("<top><first/>t0t1<middle/><last/><!--note--><![CDATA[raw]]></top>",
              Write(top, false));
    EXPECT_EQ(3, ChildCount(top));
    EXPECT_EQ(7, ElementCount(top));
    DeleteClear(top, 0);
    EXPECT_EQ("<top><first/>t0t1<middle/><last/><![CDATA[raw]]></top>", Write(top, false));
    DeleteClear(top, 5);
    EXPECT_EQ(1, ClearCount(top));
    SetName(first, "renamed");
    AddAttribute(last, "k", "v");
    EXPECT_EQ("<top><renamed/>t0t1<middle/><last k=\"v\"/><![CDATA[raw]]></top>",
              Write(top, false));
    EXPECT_EQ(1, ChildCountByName(top, "RENAMED"));
    int position = 0;
    EXPECT_STREQ("middle", GetName(GetChild(top, "middle", &position)));
    EXPECT_EQ(2, position);
    EXPECT_TRUE(GetChild(top, "middle", &position).IsEmpty());

    // Building on a parsed node grows its exactly sized arrays.
    XmlNode parsed = ParseXml("<p><x/></p>");
    AddChild(parsed, "y");
    AddChild(parsed, "w", false, 0);
    EXPECT_EQ("<p><w/><x/><y/></p>", Write(parsed, false));

    XmlNode declaration = CreateTopNode("xml", true);
    AddAttribute(declaration, "version", "1.0");
    AddChild(declaration, "r");
    EXPECT_EQ("<?xml version=\"1.0\"?>\n<r/>\n", Write(declaration, true));
}

TEST(Building, EmptyNodeReadsAsNothing) {
    XmlNode empty;
    EXPECT_TRUE(IsEmpty(empty));
    EXPECT_TRUE(AddChild(empty, "x").IsEmpty());
    AddAttribute(empty, "a", "b");
    AddText(empty, "t");
    AddClear(empty, "c");
    DeleteClear(empty, 0);
    SetName(empty, "n");
    EXPECT_EQ(nullptr, GetName(empty));
    EXPECT_EQ(0, ChildCount(empty));
    EXPECT_EQ(0, ChildCountByName(empty, "x"));
    EXPECT_EQ(0, ElementCount(empty));
    EXPECT_TRUE(GetChildAt(empty, 0).IsEmpty());
    EXPECT_EQ(nullptr, GetAttribute(empty, "a"));
    XmlNode top = CreateTopNode("t", false);
    EXPECT_TRUE(GetChildAt(top, 0).IsEmpty());
    EXPECT_TRUE(GetChildAt(top, -1).IsEmpty());
}

} // namespace

#include <gtest/gtest.h>

#include "ServerLine.h"

namespace {

struct LineCase {
    const char* line;
    const char* display;
    const char* name;
    const char* protocol;
    const char* host;
    int port;
    const char* link;
};

const LineCase kLines[] = {
    {"Main (https://srv:8443)", "Main (https://srv:8443)", "Main", "https://", "srv", 8443, ""},
    {"srv", "srv", "", "http://", "srv", -1, ""},
    {"Main (http://srv)", "Main (srv)", "Main", "http://", "srv", -1, ""},
    {"Main (HTTP://srv:8080)", "Main (srv:8080)", "Main", "http://", "srv", 8080, ""},
    {"HTTPS://srv", "https://srv", "", "https://", "srv", -1, ""},
    {"http://https://srv:443", "https://srv:443", "", "https://", "srv", 443, ""},
    {"srv:8080/x", "srv:8080", "", "http://", "srv", 8080, ""},
    {"srv:", "srv", "", "http://", "srv", -1, ""},
    {"srv:0", "srv", "", "http://", "srv", -1, ""},
    {"srv: -12", "srv:-12", "", "http://", "srv", -12, ""},
    {"srv:99999999999", "srv:2147483647", "", "http://", "srv", 2147483647, ""},
    {"  srv  ", "srv", "", "http://", "srv", -1, ""},
    {"  A   (  srv1 )", "A (srv1)", "A", "http://", "srv1", -1, ""},
    {"A (B (srv))", "A (B (srv))", "A", "http://", "B (srv)", -1, ""},
    {" (srv)", "srv", "", "http://", "srv", -1, ""},
    {"Name ()", "Name ()", "Name", "", "", -1, ""},
    {"", "", "", "", "", -1, ""},
    {"   ", "", "", "http://", "", -1, ""},
    {" https://h/x?SingleStudy&id=1 ", "https://h/x?SingleStudy&id=1", "", "", "", -1,
     "https://h/x?SingleStudy&id=1"},
    {"Study (h?SingleStudy&a)", "Study (h?SingleStudy&a)", "", "", "", -1,
     "Study (h?SingleStudy&a)"},
};

TEST(AnalyzeLine, ReadsNameProtocolHostPortAndLink) {
    for (const LineCase& c : kLines) {
        SCOPED_TRACE(c.line);
        ServerLineAnalysis a;
        EXPECT_EQ(AnalyzeLine(c.line, &a), c.display);
        EXPECT_EQ(a.name, c.name);
        EXPECT_EQ(a.protocol, c.protocol);
        EXPECT_EQ(a.host, c.host);
        EXPECT_EQ(a.port, c.port);
        EXPECT_EQ(a.link, c.link);
    }
}

TEST(AnalyzeLine, DisplayLineReadsBackTheSame) {
    for (const LineCase& c : kLines) {
        SCOPED_TRACE(c.line);
        ServerLineAnalysis first, again;
        std::string display = AnalyzeLine(c.line, &first);
        if (display.empty())
            continue;
        EXPECT_EQ(AnalyzeLine(display, &again), display);
        EXPECT_EQ(again.name, first.name);
        EXPECT_EQ(again.host, first.host);
        EXPECT_EQ(again.port, first.port);
        if (!first.host.empty()) {
            EXPECT_EQ(again.protocol, first.protocol);
        }
    }
}

TEST(AnalyzeLine, ClearsEarlierResultsAndToleratesNoResult) {
    ServerLineAnalysis a;
    AnalyzeLine("Main (https://srv:8443)", &a);
    AnalyzeLine("h?SingleStudy&x", &a);
    EXPECT_EQ(a.name, "");
    EXPECT_EQ(a.port, -1);
    EXPECT_EQ(a.protocol, "");
    EXPECT_EQ(AnalyzeLine("srv", nullptr), "");
}

TEST(AnalyzeLine, LongAndBinaryLines) {
    std::string longLine(100000, 'h');
    ServerLineAnalysis a;
    EXPECT_EQ(AnalyzeLine(longLine, &a), longLine);
    std::string binary = "\x01\xff (\x7f:12)";
    EXPECT_EQ(AnalyzeLine(binary, &a), binary);
    EXPECT_EQ(a.port, 12);
}

} // namespace

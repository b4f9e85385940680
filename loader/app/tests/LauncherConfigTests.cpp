#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LauncherConfig.h"
#include "PasswordScrambler.h"

namespace {

using Lines = std::vector<std::string>;

CLauncherConfig Read(const std::string& text) {
    CLauncherConfig config;
    config.ReadText(text.data(), text.size());
    return config;
}

TEST(LauncherConfigRead, LineKinds) {
    std::string hex = EncryptPassword("pa ss", kPasswordKey);
    CLauncherConfig c = Read("Main (https://srv:8443)\r\n\r\n  srv2  \n@@@proxy:3128;joe;" + hex +
                             "\r\nAutoStart=Y\nAutoClose=Y\nautostart=n\nMain (HTTP://x)\n \t\n");
    EXPECT_EQ(c.serverLines, (Lines{"Main (https://srv:8443)", "srv2", "autostart=n", "Main (x)"}));
    EXPECT_TRUE(c.proxyEnabled);
    EXPECT_EQ(c.proxyAddress, "proxy:3128");
    EXPECT_EQ(c.proxyUserName, "joe");
    EXPECT_EQ(c.proxyPassword, "pa ss");
    EXPECT_TRUE(c.passwordStored);
    EXPECT_TRUE(c.autoStart);
    EXPECT_TRUE(c.autoClose);
}

TEST(LauncherConfigRead, LaterLinesWinAndEmptyFieldsKeepEarlierOnes) {
    CLauncherConfig c = Read("AutoStart=Y\nAutoStart=N\nAutoClose=N\n-@@@p1;u1\n-@@@p2;;\n");
    EXPECT_FALSE(c.autoStart);
    EXPECT_FALSE(c.autoClose);
    EXPECT_FALSE(c.proxyEnabled);
    EXPECT_EQ(c.proxyAddress, "p2");
    EXPECT_EQ(c.proxyUserName, "u1");
    EXPECT_FALSE(c.passwordStored);
    EXPECT_TRUE(c.serverLines.empty());
}

TEST(LauncherConfigRead, BadBytesNeverStopTheWindow) {
    // Only the first 12000 bytes count: the line cut there is taken as it stands.
    std::string big = "first\n" + std::string(11990, 'x') + "\nAutoStart=Y\n";
    CLauncherConfig c = Read(big);
    EXPECT_EQ(c.serverLines, (Lines{"first", std::string(11990, 'x'), "Aut"}));
    EXPECT_FALSE(c.autoStart);

    const char raw[] = "srv\0one\n\x01\x02\xff\n\0\0\n@@@p;u;NOTHEX\n";
    c = Read(std::string(raw, sizeof raw - 1));
    EXPECT_EQ(c.serverLines, (Lines{"srvone", "\x01\x02\xff"}));
    EXPECT_TRUE(c.proxyEnabled);
    EXPECT_TRUE(c.passwordStored);
    EXPECT_EQ(c.proxyPassword, "");

    c = Read(std::string(100000, 'h'));
    ASSERT_EQ(c.serverLines.size(), 1u);
    EXPECT_EQ(c.serverLines[0].size(), kMaxConfigBytes);

    c = Read("");
    EXPECT_TRUE(c.serverLines.empty());
    c.ReadText(nullptr, 5);
    EXPECT_TRUE(c.serverLines.empty());
}

struct SaveCase {
    const char* what;
    Lines remembered;
    const char* typed;
    const char* file;
    Lines box;
    Lines rememberedAfter;
};

TEST(LauncherConfigSave, CurrentServerFirstAndOnce) {
    const SaveCase cases[] = {
        {"same host under two names",
         {"A (srv1)", "B (srv1)"},
         "B (srv1)",
         "B (srv1)\r\n",
         {"B (srv1)"},
         {"B (srv1)", "B (srv1)"}},
        {"another spelling",
         {"srv1", "other"},
         "X (http://srv1)",
         "X (srv1)\r\nother\r\n",
         {"X (srv1)", "other"},
         {"X (srv1)", "other"}},
        {"same name",
         {"Main (a)", "b"},
         "Main (https://c)",
         "Main (https://c)\r\nb\r\n",
         {"Main (https://c)", "b"},
         {"Main (https://c)", "b"}},
        {"new server",
         {"a", "", "Main (HTTP://srv:8080)"},
         "c:81",
         "c:81\r\na\r\nMain (srv:8080)\r\n",
         {"c:81", "a", "Main (srv:8080)"},
         {"c:81", "a", "", "Main (srv:8080)"}},
        {"port tells servers apart",
         {"srv:81"},
         "srv:82",
         "srv:82\r\nsrv:81\r\n",
         {"srv:82", "srv:81"},
         {"srv:82", "srv:81"}},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.what);
        CLauncherConfig config;
        config.serverLines = c.remembered;
        CLauncherConfig::SaveResult r = config.Save(c.typed);
        EXPECT_TRUE(r.writeFile);
        EXPECT_EQ(r.fileText, c.file);
        EXPECT_EQ(r.boxItems, c.box);
        EXPECT_EQ(config.serverLines, c.rememberedAfter);
        EXPECT_EQ(r.displayLine, c.box[0]);
    }
}

TEST(LauncherConfigSave, EmptyLinesAndLinksWriteNothing) {
    CLauncherConfig config;
    config.serverLines = {"a"};
    CLauncherConfig::SaveResult r = config.Save("   ");
    EXPECT_FALSE(r.boxUpdated);
    EXPECT_FALSE(r.writeFile);

    r = config.Save(" https://h/v?SingleStudy&uid=1 ");
    EXPECT_TRUE(r.boxUpdated);
    EXPECT_FALSE(r.writeFile);
    EXPECT_TRUE(r.boxItems.empty());
    EXPECT_EQ(r.displayLine, "https://h/v?SingleStudy&uid=1");
    EXPECT_EQ(r.analysis.link, "https://h/v?SingleStudy&uid=1");
    EXPECT_EQ(config.serverLines, (Lines{"a"}));
}

TEST(LauncherConfigSave, ProxyAndSwitches) {
    CLauncherConfig config;
    config.proxyAddress = "px:8080";
    config.proxyUserName = "joe";
    config.proxyPassword = "12345678";
    config.autoClose = true;
    std::string hex = EncryptPassword("12345678", kPasswordKey);
    EXPECT_EQ(config.Save("srv").fileText, "srv\r\n-@@@px:8080;joe;" + hex + "\r\nAutoClose=Y\r\n");

    config.proxyEnabled = true;
    config.autoStart = true;
    config.autoClose = false;
    EXPECT_EQ(config.Save("srv").fileText, "srv\r\n@@@px:8080;joe;" + hex + "\r\nAutoStart=Y\r\n");

    config.proxyAddress.clear();
    EXPECT_EQ(config.Save("srv").fileText, "srv\r\nAutoStart=Y\r\n");
}

TEST(LauncherConfigSave, PasswordBoxPlaceholder) {
    CLauncherConfig config;
    config.proxyPassword = "old";
    config.passwordStored = true;
    EXPECT_EQ(config.TakePasswordBox(kPasswordPlaceholder), kPasswordPlaceholder);
    EXPECT_EQ(config.proxyPassword, "old");
    EXPECT_EQ(config.TakePasswordBox("new one \t"), kPasswordPlaceholder);
    EXPECT_EQ(config.proxyPassword, "new one");
    EXPECT_EQ(config.TakePasswordBox(""), "");
    EXPECT_EQ(config.proxyPassword, "");
    EXPECT_FALSE(config.passwordStored);
    EXPECT_EQ(config.TakePasswordBox("  "), "  ");
    EXPECT_EQ(config.proxyPassword, "");
}

TEST(LauncherConfigSave, WrittenTextReadsBackTheSame) {
    CLauncherConfig config;
    config.serverLines = {"Old (srv0)", "Main (HTTP://srv:8080)", "https://s3"};
    config.proxyEnabled = true;
    config.proxyAddress = "px";
    config.proxyUserName = "u";
    config.proxyPassword = "a password longer than one block";
    config.autoStart = true;
    config.autoClose = true;
    CLauncherConfig::SaveResult r = config.Save("New (https://srv2:443)");
    ASSERT_TRUE(r.writeFile);

    CLauncherConfig again = Read(r.fileText);
    EXPECT_EQ(again.serverLines, r.boxItems);
    EXPECT_EQ(again.proxyEnabled, config.proxyEnabled);
    EXPECT_EQ(again.proxyAddress, config.proxyAddress);
    EXPECT_EQ(again.proxyUserName, config.proxyUserName);
    EXPECT_EQ(again.proxyPassword, config.proxyPassword);
    EXPECT_EQ(again.autoStart, config.autoStart);
    EXPECT_EQ(again.autoClose, config.autoClose);
    EXPECT_EQ(again.Save(again.serverLines[0]).fileText, r.fileText);
}

} // namespace

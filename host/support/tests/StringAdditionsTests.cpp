#include "StringAdditions.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// What the shell makes of the quoted word: printf writes it back unchanged.
QByteArray echoedByShell(const QString& word) {
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("printf %s ") + stringQuotedForBash(word)});
    EXPECT_TRUE(shell.waitForFinished(-1));
    EXPECT_EQ(shell.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    return shell.readAllStandardOutput();
}

TEST(StringQuotedForBash, QuotesOneWord) {
    EXPECT_EQ(stringQuotedForBash(u("")), u("''"));
    EXPECT_EQ(stringQuotedForBash(u("plain")), u("'plain'"));
    EXPECT_EQ(stringQuotedForBash(u("it's")), u("'it'\\''s'"));
    EXPECT_EQ(stringQuotedForBash(u("''")), u("''\\'''\\'''"));
    EXPECT_EQ(stringQuotedForBash(u("a\\b $x")), u("'a\\b $x'"));
}

TEST(StringQuotedForBash, SurvivesTheShellUnchanged) {
    const char* hostile[] = {
        "",
        "plain",
        "it's",
        "'",
        "''leading and trailing''",
        "\"double\" quotes",
        "back\\slash\\",
        "line\nbreak\n",
        "$(echo injected) $HOME ${PATH}",
        "`echo backticks`",
        "* ? [a-z] ~ {a,b}",
        "; | & > < ( ) #comment",
        "-n",
        "%s %d %%",
        "tab\there",
        "\xc3\xa9t\xc3\xa9 \xe6\xbc\xa2\xe5\xad\x97 \xf0\x9f\x98\x80",
    };
    for (const char* text : hostile)
        EXPECT_EQ(echoedByShell(u(text)), QByteArray(text)) << text;
}

TEST(ComponentsOfCommandLine, SplitsByTheGrammar) {
    struct Case {
        const char* line;
        std::vector<const char*> words;
    } cases[] = {
        {"wine \"C:\\Program Files\\app.exe\" /x", {"wine", "C:\\Program Files\\app.exe", "/x"}},
        {"a\"\"b", {"ab"}},
        {"\"\"", {""}},
        {"\"\" \"\"", {"", ""}},
        {"a \"\" b", {"a", "", "b"}},
        {"", {}},
        {"   ", {}},
        {"\t\n ", {}},
        {"\"abc", {"abc"}},
        {"x \"unterminated with blanks ", {"x", "unterminated with blanks "}},
        {"  a   b  ", {"a", "b"}},
        {"a\\ b", {"a\\", "b"}},
        {"x\"y z\"w v", {"xy zw", "v"}},
        {"\"a\"b\"c d\"", {"abc d"}},
        {"\"a\" ", {"a"}},
        {"a\tb\nc\r\nd\xc2\xa0"
         "e\xe2\x80\xa8"
         "f\xc2\x85g",
         {"a", "b", "c", "d", "e", "f", "g"}},
        {"caf\xc3\xa9 \"\xf0\x9f\x98\x80 x\"", {"caf\xc3\xa9", "\xf0\x9f\x98\x80 x"}},
    };
    for (const Case& c : cases) {
        QStringList expected;
        for (const char* word : c.words)
            expected.append(u(word));
        EXPECT_EQ(componentsOfCommandLine(u(c.line)), expected) << c.line;
    }
}

TEST(AppleScriptQuoting, SplitsIntoAsciiAndNonAsciiRuns) {
    struct Case {
        const char* text;
        std::vector<const char*> runs;
    } cases[] = {
        {"", {}},
        {"abc", {"abc"}},
        {"\xc3\xa9x", {"", "\xc3\xa9", "x"}},
        {"a\xc3\xa9"
         "b",
         {"a", "\xc3\xa9", "b"}},
        {"a\xc3\xa9", {"a", "\xc3\xa9"}},
        {"\xc3\xa9\xf0\x9f\x98\x80", {"", "\xc3\xa9\xf0\x9f\x98\x80"}},
        {"a\xf0\x9f\x98\x80"
         "b\xc3\xa9",
         {"a", "\xf0\x9f\x98\x80", "b", "\xc3\xa9"}},
    };
    for (const Case& c : cases) {
        QStringList expected;
        for (const char* run : c.runs)
            expected.append(u(run));
        EXPECT_EQ(componentsSeparatedIntoAsciiAndNonAscii(u(c.text)), expected) << c.text;
    }
}

TEST(AppleScriptQuoting, BuildsStringExpressions) {
    struct Case {
        QString (*quote)(const QString&);
        const char* text;
        const char* expression;
    } cases[] = {
        {asciiStringQuotedForAppleScript, "", "\"\""},
        {asciiStringQuotedForAppleScript, "say \"hi\"", "\"say \" & quote & \"hi\" & quote & \"\""},
        {asciiStringQuotedForAppleScript, "a\\b", "\"a\" & (ASCII character 92) & \"b\""},
        {asciiStringQuotedForAppleScript, "a\nb", "\"a\" & return & \"b\""},
        {asciiStringQuotedForAppleScript, "\"\\",
         "\"\" & quote & \"\" & (ASCII character 92) & \"\""},
        {nonAsciiStringQuotedForAppleScript, "", "\"\""},
        {nonAsciiStringQuotedForAppleScript, "\xc3\xa9",
         "(\xc2\xab"
         "data utf8c3a9\xc2\xbb as Unicode text)"},
        {nonAsciiStringQuotedForAppleScript, "\xf0\x9f\x98\x80",
         "(\xc2\xab"
         "data utf8f09f9880\xc2\xbb as Unicode text)"},
        {stringQuotedForAppleScript, "", "\"\""},
        {stringQuotedForAppleScript, "abc", "\"abc\""},
        {stringQuotedForAppleScript, "\xc3\xa9x",
         "\"\" & (\xc2\xab"
         "data utf8c3a9\xc2\xbb as Unicode text) & \"x\""},
        {stringQuotedForAppleScript, "Caf\xc3\xa9 \"1\"",
         "\"Caf\" & (\xc2\xab"
         "data utf8c3a9\xc2\xbb as Unicode text) & \" \" & quote & \"1\" & "
         "quote & \"\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.quote(u(c.text)), u(c.expression)) << c.text;
}

TEST(Normalisation, DecomposesForTheFileSystem) {
    const QString precomposed = u("caf\xc3\xa9");
    const QByteArray decomposed = decomposedUTF8String(precomposed);
    EXPECT_EQ(decomposed, QByteArray("cafe\xcc\x81"));
    EXPECT_EQ(decomposed.constData()[decomposed.size()], '\0');
    EXPECT_EQ(decomposedUTF8String(u("")), QByteArray());
}

TEST(Normalisation, FileSystemFormNamesTheFolderAsCreated) {
    // Linux keeps a name's bytes as given: a home such as /home/jos\xc3\xa9 must still be found.
    QTemporaryDir parent;
    ASSERT_TRUE(parent.isValid());
    for (const char* name : {"jos\xc3\xa9", "jose\xcc\x81", "plain"}) {
        const QString path = parent.filePath(u(name));
        ASSERT_TRUE(QDir().mkdir(path));
        EXPECT_EQ(stringInFileSystemRepresentationForm(path), path);
        EXPECT_TRUE(QFileInfo(stringInFileSystemRepresentationForm(path)).isDir()) << name;
    }
}

TEST(LocalizedStandardComparison, OrdersLikeAFileBrowser) {
    struct Case {
        const char* left;
        const char* right;
        int order;
    } cases[] = {
        {"file2", "file10", -1}, {"file10", "file2", 1}, {"abc", "abc", 0},
        {"File2", "file10", -1}, {"a", "B", -1},         {"Bottle 9", "Bottle 10", -1},
        {"", "a", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(localizedStandardLessThan(u(c.left), u(c.right)), c.order < 0)
            << c.left << " " << c.right;
        EXPECT_EQ(localizedStandardGreaterThan(u(c.left), u(c.right)), c.order > 0)
            << c.left << " " << c.right;
    }
}

TEST(LastUnixOrWindowsPathComponent, TakesTheLastComponent) {
    struct Case {
        const char* path;
        const char* component;
    } cases[] = {
        {"C:\\dir\\file.txt", "file.txt"},
        {"/usr/lib/", "lib"},
        {"C:", "/"},
        {"\\\\server\\share\\", "share"},
        {"", "/"},
        {"/", "/"},
        {"\\/\\", "/"},
        {"file", "file"},
        {"a/b\\c", "c"},
        {"C:file", "file"},
        {"/usr//lib//", "lib"},
        {"http://host/page", "page"},
        {"dir/caf\xc3\xa9\xf0\x9f\x98\x80", "caf\xc3\xa9\xf0\x9f\x98\x80"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lastUnixOrWindowsPathComponent(u(c.path)), u(c.component)) << c.path;
}

TEST(StringByRemovingCharactersInSet, LeavesTheOthersInOrder) {
    EXPECT_EQ(stringByRemovingCharactersInSet(u(" +relay,\t-heap\n\xe2\x80\x83"),
                                              TSCharacterSet::whitespaceAndNewlineSet()),
              u("+relay,-heap"));
    EXPECT_EQ(stringByRemovingCharactersInSet(u("abcab"), TSCharacterSet::fromCharacters(u("ab"))),
              u("c"));
    EXPECT_EQ(
        stringByRemovingCharactersInSet(u("a\xf0\x9f\x98\x80"
                                          "b"),
                                        TSCharacterSet::fromCharacters(u("\xf0\x9f\x98\x80"))),
        u("ab"));
    EXPECT_EQ(stringByRemovingCharactersInSet(u("keep all"), TSCharacterSet::emptySet()),
              u("keep all"));
    EXPECT_EQ(stringByRemovingCharactersInSet(u("a/b\\c"), TSCharacterSet::nonPathSeparatorSet()),
              u("/\\"));
}

TEST(CharacterSets, AreBuiltOnceForAllThreads) {
    std::vector<const TSCharacterSet*> seen(8);
    std::vector<std::thread> threads;
    for (auto& slot : seen)
        threads.emplace_back([&slot] { slot = &TSCharacterSet::asciiSet(); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(std::set<const TSCharacterSet*>(seen.begin(), seen.end()).size(), 1u);

    const TSCharacterSet& ascii = TSCharacterSet::asciiSet();
    EXPECT_TRUE(ascii.contains(0x7F));
    EXPECT_FALSE(ascii.contains(0x80));
    EXPECT_TRUE(ascii.inverted().contains(0xE9));
    EXPECT_TRUE(TSCharacterSet::commandLineDelimiterSet().contains(U'"'));
    EXPECT_FALSE(TSCharacterSet::whitespaceAndNewlineSet().contains(U'"'));
}

} // namespace

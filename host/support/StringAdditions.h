// Additions to the host's strings: quoting for the shell and for AppleScript, splitting of
// command lines typed by the user, Unicode normalisation for file-system use, the comparison
// file browsers use, and the last component of a Unix or Windows path.
#pragma once

#include "TSCharacterSet.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The string as one single-quoted shell word; every "'" becomes '\''.
QString stringQuotedForBash(const QString& string);

// Words of a command line: blanks separate words, double quotes group text and are removed,
// quoted and unquoted pieces that touch form one word, a backslash is an ordinary character,
// an unterminated quote runs to the end.
QStringList componentsOfCommandLine(const QString& commandLine);

// Alternating runs: even positions ASCII (the first possibly empty), odd positions non-ASCII.
QStringList componentsSeparatedIntoAsciiAndNonAscii(const QString& string);

// AppleScript string expressions.
QString asciiStringQuotedForAppleScript(const QString& string);
QString nonAsciiStringQuotedForAppleScript(const QString& string);
QString stringQuotedForAppleScript(const QString& string);

// UTF-8 bytes of the canonically decomposed form (QByteArray keeps a terminating zero).
QByteArray decomposedUTF8String(const QString& string);
// The string as the file system stores it, so that a path compares equal to what directory
// listings return. Linux stores names as given, so this is the string itself.
QString stringInFileSystemRepresentationForm(const QString& string);

// The comparison of file browsers in the current locale: numbers in names compare by value.
int localizedStandardCompare(const QString& left, const QString& right);
bool localizedStandardGreaterThan(const QString& left, const QString& right);
bool localizedStandardLessThan(const QString& left, const QString& right);

// Last component of a Unix or Windows path; a drive prefix and trailing separators are
// ignored; "/" when nothing is left.
QString lastUnixOrWindowsPathComponent(const QString& path);

QString stringByRemovingCharactersInSet(const QString& string, const TSCharacterSet& set);

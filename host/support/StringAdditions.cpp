#include "StringAdditions.h"

#include <QCollator>
#include <QLocale>

#include <optional>

namespace {

// Walks a string by code points; a lone surrogate counts as one code point of its own.
class Scanner {
public:
    explicit Scanner(const QString& string) : string_(string) {}

    bool atEnd() const { return pos_ >= string_.size(); }
    char32_t peek() const { return decode(pos_).first; }
    void advance() { pos_ += decode(pos_).second; }

    // Takes the longest run of characters inside (or outside) the set.
    QString scan(const TSCharacterSet& set, bool inside) {
        const qsizetype start = pos_;
        while (!atEnd()) {
            const auto [c, length] = decode(pos_);
            if (set.contains(c) != inside)
                break;
            pos_ += length;
        }
        return string_.mid(start, pos_ - start);
    }
    QString scanCharactersFromSet(const TSCharacterSet& set) { return scan(set, true); }
    QString scanUpToCharactersFromSet(const TSCharacterSet& set) { return scan(set, false); }

private:
    std::pair<char32_t, int> decode(qsizetype at) const {
        const QChar c = string_.at(at);
        if (c.isHighSurrogate() && at + 1 < string_.size() && string_.at(at + 1).isLowSurrogate())
            return {QChar::surrogateToUcs4(c, string_.at(at + 1)), 2};
        return {c.unicode(), 1};
    }

    const QString& string_;
    qsizetype pos_ = 0;
};

const QString kEmptyAppleScriptString = QStringLiteral("\"\"");

} // namespace

QString stringQuotedForBash(const QString& string) {
    QString quoted = string;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QStringList componentsOfCommandLine(const QString& commandLine) {
    static const TSCharacterSet quote = TSCharacterSet::fromCharacters(QStringLiteral("\""));
    const TSCharacterSet& separators = TSCharacterSet::whitespaceAndNewlineSet();
    const TSCharacterSet& delimiters = TSCharacterSet::commandLineDelimiterSet();

    QStringList words;
    QString word;
    Scanner scanner(commandLine);
    while (!scanner.atEnd()) {
        scanner.scanCharactersFromSet(separators);
        if (scanner.atEnd())
            break;
        for (;;) {
            word += scanner.scanUpToCharactersFromSet(delimiters);
            if (scanner.atEnd() || scanner.peek() != U'"')
                break;
            scanner.advance();
            word += scanner.scanUpToCharactersFromSet(quote);
            if (!scanner.atEnd())
                scanner.advance();
            if (scanner.atEnd())
                break;
        }
        words.append(word);
        word.clear();
    }
    return words;
}

QStringList componentsSeparatedIntoAsciiAndNonAscii(const QString& string) {
    const TSCharacterSet& ascii = TSCharacterSet::asciiSet();
    QStringList runs;
    Scanner scanner(string);
    while (!scanner.atEnd()) {
        runs.append(scanner.scanCharactersFromSet(ascii));
        const QString nonAscii = scanner.scanUpToCharactersFromSet(ascii);
        if (!nonAscii.isEmpty())
            runs.append(nonAscii);
    }
    return runs;
}

QString asciiStringQuotedForAppleScript(const QString& string) {
    QString quoted = string;
    quoted.replace(QLatin1Char('"'), QLatin1String("\" & quote & \""));
    quoted.replace(QLatin1Char('\\'), QLatin1String("\" & (ASCII character 92) & \""));
    quoted.replace(QLatin1Char('\n'), QLatin1String("\" & return & \""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString nonAsciiStringQuotedForAppleScript(const QString& string) {
    if (string.isEmpty())
        return kEmptyAppleScriptString;
    return QStringLiteral("(\u00abdata utf8") + QString::fromLatin1(string.toUtf8().toHex()) +
           QStringLiteral("\u00bb as Unicode text)");
}

QString stringQuotedForAppleScript(const QString& string) {
    if (string.isEmpty())
        return kEmptyAppleScriptString;
    const QStringList runs = componentsSeparatedIntoAsciiAndNonAscii(string);
    QStringList quoted;
    for (qsizetype i = 0; i < runs.size(); ++i)
        quoted.append(i % 2 == 0 ? asciiStringQuotedForAppleScript(runs[i])
                                 : nonAsciiStringQuotedForAppleScript(runs[i]));
    return quoted.join(QLatin1String(" & "));
}

QByteArray decomposedUTF8String(const QString& string) {
    return string.normalized(QString::NormalizationForm_D).toUtf8();
}

QString stringInFileSystemRepresentationForm(const QString& string) {
    // Linux file names are bytes stored as given: the file-system form is the string itself.
    return string;
}

int localizedStandardCompare(const QString& left, const QString& right) {
    // One collator per thread, rebuilt when the default locale changes.
    thread_local std::optional<QCollator> collator;
    const QLocale locale;
    if (!collator || collator->locale() != locale) {
        collator.emplace(locale);
        collator->setNumericMode(true);
        collator->setCaseSensitivity(Qt::CaseInsensitive);
    }
    return collator->compare(left, right);
}

bool localizedStandardGreaterThan(const QString& left, const QString& right) {
    return localizedStandardCompare(left, right) > 0;
}

bool localizedStandardLessThan(const QString& left, const QString& right) {
    return localizedStandardCompare(left, right) < 0;
}

QString lastUnixOrWindowsPathComponent(const QString& path) {
    const QString rest = path.mid(path.lastIndexOf(QLatin1Char(':')) + 1);
    const TSCharacterSet& separators = TSCharacterSet::pathSeparatorSet();
    const TSCharacterSet& nonSeparators = TSCharacterSet::nonPathSeparatorSet();
    qsizetype last = rest.size() - 1;
    while (last >= 0 && !nonSeparators.contains(rest.at(last).unicode()))
        --last;
    if (last < 0)
        return QStringLiteral("/");
    qsizetype separator = last - 1;
    while (separator >= 0 && !separators.contains(rest.at(separator).unicode()))
        --separator;
    return rest.mid(separator + 1, last - separator);
}

QString stringByRemovingCharactersInSet(const QString& string, const TSCharacterSet& set) {
    QString result;
    result.reserve(string.size());
    Scanner scanner(string);
    while (!scanner.atEnd()) {
        result += scanner.scanUpToCharactersFromSet(set);
        scanner.scanCharactersFromSet(set);
    }
    return result;
}

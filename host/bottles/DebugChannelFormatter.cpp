#include "DebugChannelFormatter.h"

#include "StringAdditions.h"
#include "TSCharacterSet.h"

#include <QLineEdit>

namespace {

// Letters, digits and "_,+-"; everything else is disallowed. Built once per process.
const TSCharacterSet& disallowedCharacters() {
    static const TSCharacterSet set =
        TSCharacterSet::fromCharacters(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                      "abcdefghijklmnopqrstuvwxyz0123456789_,+-"))
            .inverted();
    return set;
}

} // namespace

DebugChannelFormatter::DebugChannelFormatter(QObject* parent) : QValidator(parent) {}

QString DebugChannelFormatter::sanitizedString(const QString& string) {
    initCharacterSets();
    const TSCharacterSet& blanks = TSCharacterSet::whitespaceAndNewlineSet();
    QString commas;
    for (char32_t c : string.toUcs4())
        commas += blanks.contains(c) ? QStringLiteral(",") : QString::fromUcs4(&c, 1);
    while (commas.contains(QStringLiteral(",,")))
        commas.replace(QStringLiteral(",,"), QStringLiteral(","));
    return stringByRemovingCharactersInSet(commas, disallowedCharacters());
}

bool DebugChannelFormatter::isPartialStringValid(QString* partial, int* selectionLocation,
                                                 int* selectionLength,
                                                 const QString& originalString,
                                                 int originalLocation, int originalLength) {
    const QString proposed = *partial;
    const int proposedLocation = *selectionLocation;
    const int proposedLength = *selectionLength;
    const int start = originalLocation, replaced = originalLength;
    const int inserted = proposed.length() - originalString.length() + replaced;
    const int insertionEnd = start + inserted;
    QString result;
    int location = proposedLocation, length = proposedLength;

    if (start > 0) {
        const QString prefix = sanitizedString(proposed.left(start));
        result += prefix;
        if (location >= start)
            location += prefix.length() - start;
    }
    const QString suffix = sanitizedString(proposed.mid(insertionEnd));
    if (inserted > 0) {
        QString insertion = sanitizedString(proposed.mid(start, inserted));
        if (!insertion.isEmpty() && !result.isEmpty() && insertion.startsWith(',') &&
            result.endsWith(','))
            insertion.remove(0, 1);
        if (!insertion.isEmpty() && !suffix.isEmpty() && insertion.endsWith(',') &&
            suffix.startsWith(','))
            insertion.chop(1);
        if (!insertion.isEmpty() || replaced == 0) {
            if (proposedLocation < insertionEnd) {
                if (proposedLocation == start && proposedLength == inserted) {
                    location = result.length();
                    length = insertion.length();
                } else {
                    location = result.length() + insertion.length();
                    length = 0;
                }
            } else {
                location += insertion.length() - inserted;
            }
        } else {
            // The insertion came to nothing while it replaced a selection: the selection stays.
            insertion = originalString.mid(start, replaced);
            location = result.length();
            length = insertion.length();
        }
        result += insertion;
    }
    result += suffix;

    if (location > result.length()) {
        location = result.length();
        length = 0;
    } else if (location + length > result.length()) {
        length = result.length() - location;
    }
    if (location == proposedLocation && length == proposedLength && result == proposed)
        return true;
    *partial = result;
    *selectionLocation = location;
    *selectionLength = length;
    return false;
}

void DebugChannelFormatter::attachTo(QLineEdit* field) {
    field_ = field;
    field->setValidator(this);
    remember();
    connect(field, &QLineEdit::textChanged, this, &DebugChannelFormatter::remember);
    connect(field, &QLineEdit::cursorPositionChanged, this, &DebugChannelFormatter::remember);
    connect(field, &QLineEdit::selectionChanged, this, &DebugChannelFormatter::remember);
}

void DebugChannelFormatter::remember() {
    if (!field_)
        return;
    before_ = field_->text();
    if (field_->hasSelectedText()) {
        beforeLocation_ = field_->selectionStart();
        beforeLength_ = field_->selectedText().length();
    } else {
        beforeLocation_ = field_->cursorPosition();
        beforeLength_ = 0;
    }
}

QValidator::State DebugChannelFormatter::validate(QString& input, int& position) const {
    int location = position, length = 0;
    if (!isPartialStringValid(&input, &location, &length, before_, beforeLocation_, beforeLength_))
        position = location + length; // a line edit takes a caret, not a selection
    return Acceptable;
}

// Keeps the Wine debug-channel field of the Run Command window well-formed: channels separated
// by single commas, only letters, digits and "_,+-", while the user types or pastes, with the
// caret where the user expects it. As a validator it corrects a line edit's text as it changes.
#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

class DebugChannelFormatter : public QValidator {
    Q_OBJECT
public:
    explicit DebugChannelFormatter(QObject* parent = nullptr);

    // Blanks and line breaks become ",", ",," collapses to ",", other characters that are not
    // allowed go (which may leave new ",," pairs).
    static QString sanitizedString(const QString& string);

    // The partial string as the user changed it (original text and selection before, the
    // proposed text and selection after). True when it stands as it is; otherwise false, and
    // partial and the selection hold the corrected text and selection.
    static bool isPartialStringValid(QString* partial, int* selectionLocation, int* selectionLength,
                                     const QString& originalString, int originalLocation,
                                     int originalLength);

    // Validates the line edit's changes against its text and selection before each change.
    void attachTo(QLineEdit* field);

    State validate(QString& input, int& position) const override;

private:
    void remember();

    QLineEdit* field_ = nullptr;
    QString before_;
    int beforeLocation_ = 0;
    int beforeLength_ = 0;
};

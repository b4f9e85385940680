// The exception of start-up failures of the embedded interpreter and of programming errors.
#pragma once

#include <QString>

#include <stdexcept>

class TSInternalInconsistency : public std::runtime_error {
public:
    explicit TSInternalInconsistency(const QString& reason)
        : std::runtime_error(reason.toStdString()), reason_(reason) {}

    const QString& reason() const { return reason_; }

private:
    QString reason_;
};

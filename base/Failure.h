// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// A run-time failure of one action. Operations that report failures catch it,
// show its description in the error report and go on with their next action.
class Failure : public std::exception
{
public:
    explicit Failure(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {
    }

    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

    static Failure typeMismatch() { return Failure(QStringLiteral("Type mismatch")); }
    static Failure overflow() { return Failure(QStringLiteral("Overflow")); }
    static Failure fileNotFound() { return Failure(QStringLiteral("File not found")); }
    static Failure pathFileAccess() { return Failure(QStringLiteral("Path/File access error")); }

private:
    QString m_description;
    QByteArray m_utf8;
};

// Thrown through a flow that waits when the program closes under it, or when
// its wait is given up (the machine going to sleep): it unwinds every step
// above the wait and is never reported. Not a Failure nor
// a std::exception, so that no step catches it.
struct Cancelled {
};

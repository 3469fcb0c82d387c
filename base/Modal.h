// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QColor>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <functional>
#include <optional>

// Everything that makes the user answer before the program goes on. Production
// uses the real Qt dialogs, opened without an event loop of their own: the
// caller awaits the answer. Tests install a scripted implementation that
// records what was shown and answers as the test says.
class Modal
{
public:
    enum class Icon { NoIcon, Warning };

    virtual ~Modal() = default;

    // A box with an OK button only; done when the user has pressed it.
    virtual QCoro::Task<> messageBox(const QString& title, const QString& text, Icon icon) = 0;
    // A warning box with OK that does not hold up the caller: the program goes
    // on (polls keep coming) while it waits for the user. `closed` runs once
    // the user has pressed OK.
    virtual void reportBox(const QString& title, const QString& text, std::function<void()> closed) = 0;

    // The user's answer, or nothing when cancelled.
    virtual QCoro::Task<std::optional<QString>> inputBox(const QString& title, const QString& prompt,
                                                         const QString& proposed) = 0;
    // The chosen colour, or nothing when cancelled.
    virtual QCoro::Task<std::optional<QColor>> colorDialog(const QColor& initial) = 0;
    // Opens a page in the user's browser; false when no browser could be started.
    virtual bool openUrl(const QUrl& url) = 0;

    static Modal& instance();
    // Replaces the implementation (tests); nullptr goes back to the default one.
    // The caller keeps ownership.
    static void install(Modal* modal);
    // The implementation used when none is installed (set by the GUI at start).
    static void setDefault(Modal* modal);
};

// The application title that boxes without a title of their own show.
inline QString applicationTitle()
{
    return QStringLiteral("Tepora");
}

// A plain box: application title, OK only, no icon.
QCoro::Task<> showMessage(QString text);

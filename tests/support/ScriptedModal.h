// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/Modal.h"

#include <QColor>
#include <QList>
#include <QQueue>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// Answers every modal interaction as the test scripted it and records what
// the user would have seen. Installs itself for its lifetime.
class ScriptedModal : public Modal
{
public:
    struct Shown {
        QString kind; // "message", "input", "color"
        QString title;
        QString text;
        Icon icon = Icon::NoIcon;
    };

    ScriptedModal();
    ~ScriptedModal() override;

    QCoro::Task<> messageBox(const QString& title, const QString& text, Icon icon) override;
    void reportBox(const QString& title, const QString& text, std::function<void()> closed) override;
    QCoro::Task<std::optional<QString>> inputBox(const QString& title, const QString& prompt,
                                                 const QString& proposed) override;
    QCoro::Task<std::optional<QColor>> colorDialog(const QColor& initial) override;
    bool openUrl(const QUrl& url) override;

    // Answers, taken in order; an input box or colour dialog without a
    // scripted answer is cancelled.
    void queueInput(std::optional<QString> answer) { m_inputs.enqueue(std::move(answer)); }
    void queueColor(std::optional<QColor> answer) { m_colors.enqueue(std::move(answer)); }
    // Runs while a message box is "open" (to test what happens meanwhile).
    void onMessage(std::function<void(const Shown&)> hook) { m_onMessage = std::move(hook); }

    QList<Shown> shown;
    QList<QUrl> openedUrls;
    QList<QString> proposedInputs;
    QList<QColor> initialColors;
    bool browserWorks = true;
    // Leave report boxes open (the program must go on meanwhile) until
    // closeReport() plays the user's OK.
    bool holdReports = false;
    int heldReports() const { return int(m_held.size()); }
    void closeReport();

    QList<Shown> messages() const;
    QList<Shown> errorReports() const;
    void clear();

private:
    void record(const Shown& s);

    QQueue<std::optional<QString>> m_inputs;
    QQueue<std::optional<QColor>> m_colors;
    std::function<void(const Shown&)> m_onMessage;
    QList<std::function<void()>> m_held;
};

// SPDX-License-Identifier: GPL-3.0-or-later

#include "ScriptedModal.h"

#include "base/ErrorReport.h"

ScriptedModal::ScriptedModal()
{
    Modal::install(this);
    forgetReportedFaults();
}

ScriptedModal::~ScriptedModal()
{
    Modal::install(nullptr);
}

void ScriptedModal::record(const Shown& s)
{
    shown.append(s);
    if (m_onMessage) {
        m_onMessage(s);
    }
}

QCoro::Task<> ScriptedModal::messageBox(const QString& title, const QString& text, Icon icon)
{
    record(Shown{QStringLiteral("message"), title, text, icon});
    co_return;
}

void ScriptedModal::reportBox(const QString& title, const QString& text, std::function<void()> closed)
{
    record(Shown{QStringLiteral("message"), title, text, Icon::Warning});
    if (holdReports) {
        m_held.append(std::move(closed));
    } else {
        closed();
    }
}

void ScriptedModal::closeReport()
{
    if (!m_held.isEmpty()) {
        m_held.takeFirst()();
    }
}

QCoro::Task<std::optional<QString>> ScriptedModal::inputBox(const QString& title, const QString& prompt,
                                                            const QString& proposed)
{
    shown.append({QStringLiteral("input"), title, prompt, Icon::NoIcon});
    proposedInputs.append(proposed);
    co_return m_inputs.isEmpty() ? std::nullopt : m_inputs.dequeue();
}

QCoro::Task<std::optional<QColor>> ScriptedModal::colorDialog(const QColor& initial)
{
    shown.append({QStringLiteral("color"), QString(), QString(), Icon::NoIcon});
    initialColors.append(initial);
    co_return m_colors.isEmpty() ? std::nullopt : m_colors.dequeue();
}

bool ScriptedModal::openUrl(const QUrl& url)
{
    openedUrls.append(url);
    return browserWorks;
}

QList<ScriptedModal::Shown> ScriptedModal::messages() const
{
    QList<Shown> result;
    for (const Shown& s : shown) {
        if (s.kind == QLatin1String("message") && s.title != QLatin1String("Application Error")) {
            result.append(s);
        }
    }
    return result;
}

QList<ScriptedModal::Shown> ScriptedModal::errorReports() const
{
    QList<Shown> result;
    for (const Shown& s : shown) {
        if (s.kind == QLatin1String("message") && s.title == QLatin1String("Application Error")) {
            result.append(s);
        }
    }
    return result;
}

void ScriptedModal::clear()
{
    shown.clear();
    openedUrls.clear();
    proposedInputs.clear();
    initialColors.clear();
}

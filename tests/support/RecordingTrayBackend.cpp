// SPDX-License-Identifier: GPL-3.0-or-later

#include "RecordingTrayBackend.h"

void RecordingTrayBackend::add(const QIcon* icon, const QString* tip)
{
    Call c;
    c.op = QStringLiteral("add");
    if (icon) {
        c.hasIcon = true;
        c.iconCacheKey = icon->cacheKey();
    }
    if (tip) {
        c.hasTip = true;
        c.tip = *tip;
    }
    calls.append(c);
}

void RecordingTrayBackend::modifyIcon(const QIcon& icon)
{
    Call c;
    c.op = QStringLiteral("modifyIcon");
    c.hasIcon = true;
    c.iconCacheKey = icon.cacheKey();
    calls.append(c);
}

void RecordingTrayBackend::modifyTip(const QString& tip)
{
    Call c;
    c.op = QStringLiteral("modifyTip");
    c.hasTip = true;
    c.tip = tip;
    calls.append(c);
}

void RecordingTrayBackend::balloon(const QString& title, const QString& text, int timeoutMs)
{
    Call c;
    c.op = QStringLiteral("balloon");
    c.title = title;
    c.text = text;
    c.timeout = timeoutMs;
    calls.append(c);
}

void RecordingTrayBackend::remove()
{
    Call c;
    c.op = QStringLiteral("remove");
    calls.append(c);
}

QStringList RecordingTrayBackend::ops() const
{
    QStringList result;
    for (const Call& c : calls)
        result.append(c.op);
    return result;
}

int RecordingTrayBackend::count(const QString& op) const
{
    int n = 0;
    for (const Call& c : calls)
        n += c.op == op ? 1 : 0;
    return n;
}

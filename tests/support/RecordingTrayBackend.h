// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "tray/TrayBackend.h"

#include <QList>
#include <QString>
#include <QStringList>

// Stands in for the notification area: records every request with its
// arguments and lets the test play the area's events.
class RecordingTrayBackend : public TrayBackend
{
    Q_OBJECT

public:
    struct Call {
        QString op; // "add", "modifyIcon", "modifyTip", "balloon", "remove"
        bool hasIcon = false;
        qint64 iconCacheKey = 0;
        bool hasTip = false;
        QString tip;
        QString title;
        QString text;
        int timeout = 0;
    };

    using TrayBackend::TrayBackend;

    void add(const QIcon* icon, const QString* tip) override;
    void modifyIcon(const QIcon& icon) override;
    void modifyTip(const QString& tip) override;
    void balloon(const QString& title, const QString& text, int timeoutMs) override;
    void remove() override;

    bool available() const override { return m_available; }
    void setAvailable(bool available) { m_available = available; }

    void emitEvent(TrayEvent event) { emit trayEvent(event); }

    QList<Call> calls;
    QStringList ops() const;
    int count(const QString& op) const;

private:
    bool m_available = true;
};

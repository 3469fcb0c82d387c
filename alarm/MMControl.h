// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "alarm/AlarmSound.h"

#include <QPointer>

// A small media player: the commands drive the sound module's player, which
// is loaded when the first alert opens it (alarm/SoundPlayer.h).
class MMControl : public AlarmSound
{
    Q_OBJECT

public:
    explicit MMControl(QObject* parent = nullptr);
    ~MMControl() override;

    void setCommand(const QString& command) override;

    // Where the sound module is looked for beside `programFolder`: in it (a
    // build), then where the package puts it.
    static QStringList modulePaths(const QString& programFolder);

private slots:
    void onStarted();
    void onEnded();
    void onFailed(const QString& why);

private:
    void fail(const QString& why);

    QPointer<QObject> m_player;
    bool m_started = false;
};

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "alarm/AlarmSound.h"

class QAudioOutput;
class QMediaPlayer;

// A small media player over QMediaPlayer.
class MMControl : public AlarmSound
{
    Q_OBJECT

public:
    explicit MMControl(QObject* parent = nullptr);
    ~MMControl() override;

    void setCommand(const QString& command) override;

private:
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
};

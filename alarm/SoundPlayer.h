// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>
#include <QString>

class QAudioOutput;
class QMediaPlayer;

// Plays the alarm sound once with Qt Multimedia. It is built as a module of
// its own (libtepora-sound.so) that the program loads when an alert first
// sounds: the sound stack (Qt Multimedia, PulseAudio, the codecs) costs
// megabytes that a tray program waiting between polls should not carry.
class SoundPlayer : public QObject
{
    Q_OBJECT

public:
    explicit SoundPlayer(QObject* parent = nullptr);

public slots:
    // From its start; `started`, then `ended`, or `failed`.
    void play(const QString& file);
    void stop();

signals:
    void started();
    void ended();
    void failed(const QString& why);

private:
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
    bool m_started = false;
};

// The module's one entry point, looked up by this name.
extern "C" Q_DECL_EXPORT QObject* tepora_sound_player(QObject* parent);

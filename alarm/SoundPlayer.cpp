// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/SoundPlayer.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

void SoundPlayer::play(const QString& file)
{
    // Without a sound server there is no output to play on at all, and the
    // player would go on "playing" in silence.
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        emit failed(QStringLiteral("no sound output was found."));
        return;
    }
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_output = new QAudioOutput(this);
        m_player->setAudioOutput(m_output);
        // A missing or broken file leaves the player "playing": only the
        // media status and the error tell what really happened.
        connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::EndOfMedia) {
                emit ended();
            } else if (status == QMediaPlayer::InvalidMedia) {
                emit failed(m_player->errorString());
            }
        });
        connect(m_player, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error, const QString& text) { emit failed(text); });
        connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 position) {
            if (position > 0 && !m_started) {
                m_started = true;
                emit started();
            }
        });
    }
    m_started = false;
    m_player->setSource(QUrl::fromLocalFile(file));
    m_player->setPosition(0);
    m_player->play();
}

void SoundPlayer::stop()
{
    if (m_player) {
        m_player->stop();
        m_player->setSource(QUrl());
    }
}

QObject* tepora_sound_player(QObject* parent)
{
    return new SoundPlayer(parent);
}

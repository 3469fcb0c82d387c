// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/MMControl.h"

#include "base/Clock.h"
#include "base/Failure.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

namespace
{
std::function<AlarmSound*(QObject*)> g_factory;

// A sound that has not begun by then is not going to: without a sound
// server the player stays "playing" in silence and reports nothing.
constexpr int kStartTimeoutMs = 5000;
} // namespace

AlarmSound* AlarmSound::create(QObject* parent)
{
    return g_factory ? g_factory(parent) : new MMControl(parent);
}

void AlarmSound::setFactory(std::function<AlarmSound*(QObject*)> factory)
{
    g_factory = std::move(factory);
}

MMControl::MMControl(QObject* parent) : AlarmSound(parent) {}

MMControl::~MMControl() = default;

void MMControl::setCommand(const QString& command)
{
    if (command.compare(QLatin1String("Open"), Qt::CaseInsensitive) == 0) {
        if (!m_player) {
            m_player = new QMediaPlayer(this);
            m_output = new QAudioOutput(this);
            m_player->setAudioOutput(m_output);
            // A missing or broken file leaves the player "playing": only the
            // media status and the error tell what really happened.
            connect(m_player, &QMediaPlayer::mediaStatusChanged, this,
                    [this](QMediaPlayer::MediaStatus status) {
                        if (status == QMediaPlayer::EndOfMedia) {
                            setState(State::Ended);
                        } else if (status == QMediaPlayer::InvalidMedia) {
                            setError(m_player->errorString());
                            setState(State::Failed);
                        }
                    });
            connect(m_player, &QMediaPlayer::errorOccurred, this,
                    [this](QMediaPlayer::Error, const QString& text) {
                        setError(text);
                        setState(State::Failed);
                    });
        }
        setError(QString());
        m_player->setSource(QUrl::fromLocalFile(FileName));
        setState(State::Open);
    } else if (command.compare(QLatin1String("Play"), Qt::CaseInsensitive) == 0) {
        if (!m_player) {
            throw Failure(QStringLiteral("The device is not open"));
        }
        if (state() == State::Failed) {
            return;
        }
        // Without a sound server there is no output to play on at all.
        if (QMediaDevices::defaultAudioOutput().isNull()) {
            setError(QStringLiteral("no sound output was found."));
            setState(State::Failed);
            return;
        }
        m_player->setPosition(0);
        m_player->play();
        setState(State::Playing);
        Clock::instance().after(kStartTimeoutMs, this, [this] {
            if (state() == State::Playing && m_player->position() == 0) {
                m_player->stop();
                setError(QStringLiteral("it did not start."));
                setState(State::Failed);
            }
        });
    } else if (command.compare(QLatin1String("Stop"), Qt::CaseInsensitive) == 0) {
        if (m_player) {
            m_player->stop();
        }
    } else if (command.compare(QLatin1String("Close"), Qt::CaseInsensitive) == 0) {
        if (m_player) {
            m_player->stop();
            m_player->setSource(QUrl());
        }
        setState(State::Closed);
    } else {
        throw Failure(QStringLiteral("Invalid command: ") + command);
    }
}

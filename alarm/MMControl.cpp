// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/MMControl.h"

#include "base/Clock.h"
#include "base/Failure.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

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

QStringList MMControl::modulePaths(const QString& programFolder)
{
    const QString name = QStringLiteral("libtepora-sound.so");
    return {programFolder + QLatin1Char('/') + name,
            QDir::cleanPath(programFolder + QStringLiteral("/" TEPORA_SOUND_MODULE_FROM_BIN "/") + name)};
}

namespace
{

// The player from the sound module, loaded once; nothing and the reason
// when it cannot be had. The module stays loaded for the rest of the run.
QObject* newPlayer(const QString& programFolder, QObject* parent, QString* why)
{
    using Make = QObject* (*)(QObject*);
    static Make make = nullptr;
    if (!make) {
        QString tried;
        for (const QString& path : MMControl::modulePaths(programFolder)) {
            if (!QFileInfo::exists(path)) {
                continue;
            }
            QLibrary module(path);
            make = reinterpret_cast<Make>(module.resolve("tepora_sound_player"));
            if (make) {
                break;
            }
            tried = module.errorString();
        }
        if (!make) {
            *why = tried.isEmpty() ? QStringLiteral("its module is missing.") : tried;
            return nullptr;
        }
    }
    return make(parent);
}

} // namespace

void MMControl::setCommand(const QString& command)
{
    if (command.compare(QLatin1String("Open"), Qt::CaseInsensitive) == 0) {
        setError(QString());
        setState(State::Open);
        if (!m_player) {
            QString why;
            m_player = newPlayer(ProgramFolder, this, &why);
            if (!m_player) {
                fail(why);
                return;
            }
            connect(m_player, SIGNAL(started()), this, SLOT(onStarted()));
            connect(m_player, SIGNAL(ended()), this, SLOT(onEnded()));
            connect(m_player, SIGNAL(failed(QString)), this, SLOT(onFailed(QString)));
        }
    } else if (command.compare(QLatin1String("Play"), Qt::CaseInsensitive) == 0) {
        if (state() == State::Failed) {
            return;
        }
        if (!m_player) {
            throw Failure(QStringLiteral("The device is not open"));
        }
        m_started = false;
        setState(State::Playing);
        QMetaObject::invokeMethod(m_player, "play", Q_ARG(QString, FileName));
        // A sound that has not begun by then is not going to: the player may
        // stay "playing" in silence and say nothing.
        Clock::instance().after(kStartTimeoutMs, this, [this] {
            if (state() == State::Playing && !m_started) {
                fail(QStringLiteral("it did not start."));
            }
        });
    } else if (command.compare(QLatin1String("Stop"), Qt::CaseInsensitive) == 0 ||
               command.compare(QLatin1String("Close"), Qt::CaseInsensitive) == 0) {
        if (m_player) {
            QMetaObject::invokeMethod(m_player, "stop");
        }
        if (command.compare(QLatin1String("Close"), Qt::CaseInsensitive) == 0) {
            setState(State::Closed);
        }
    } else {
        throw Failure(QStringLiteral("Invalid command: ") + command);
    }
}

void MMControl::onStarted()
{
    m_started = true;
}

void MMControl::onEnded()
{
    if (state() == State::Playing) {
        setState(State::Ended);
    }
}

void MMControl::onFailed(const QString& why)
{
    fail(why);
}

void MMControl::fail(const QString& why)
{
    if (m_player) {
        QMetaObject::invokeMethod(m_player, "stop");
    }
    setError(why);
    setState(State::Failed);
}

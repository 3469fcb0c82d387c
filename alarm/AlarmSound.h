// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The alarm sound as the alert window drives it: give it a FileName, then the
// commands "Open" and "Play"; it plays the file once from its start.
class AlarmSound : public QObject
{
    Q_OBJECT

public:
    enum class State { Closed, Open, Playing, Ended, Failed };

    using QObject::QObject;
    ~AlarmSound() override = default;

    QString FileName;
    // The folder the program's own parts are found from.
    QString ProgramFolder;

    // "Open", "Play", "Stop" or "Close"; anything else raises Failure.
    virtual void setCommand(const QString& command) = 0;

    State state() const { return m_state; }
    QString errorText() const { return m_error; }

    // The platform's player (MMControl), unless a test put another in place.
    static AlarmSound* create(QObject* parent);
    static void setFactory(std::function<AlarmSound*(QObject*)> factory);

signals:
    void stateChanged(AlarmSound::State state);

protected:
    void setState(State state)
    {
        if (state != m_state) {
            m_state = state;
            emit stateChanged(state);
        }
    }
    void setError(const QString& text) { m_error = text; }

private:
    State m_state = State::Closed;
    QString m_error;
};

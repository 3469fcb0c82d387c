#pragma once

#include <QObject>
#include <QString>

class QAudioOutput;
class QMediaPlayer;

// A small media player: give it a FileName, then the commands "Open" and
// "Play". It plays the file once from its start.
class MMControl : public QObject {
    Q_OBJECT

public:
    enum class State { Closed, Open, Playing, Ended, Failed };

    explicit MMControl(QObject* parent = nullptr);
    ~MMControl() override;

    QString FileName;

    // "Open", "Play", "Stop" or "Close"; anything else raises Failure.
    void setCommand(const QString& command);

    State state() const { return m_state; }
    QString errorText() const { return m_error; }

signals:
    void stateChanged(MMControl::State state);

private:
    void setState(State state);

    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
    State m_state = State::Closed;
    QString m_error;
};

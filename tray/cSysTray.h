// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include "tray/TrayBackend.h"

#include <QCoroTask>

class Latch;

// The program's one icon in the notification area: keeps its picture and
// tooltip, shows balloon tips and turns the area's events into mouse events. All traffic to the area goes
// through a TrayBackend, which the caller owns and which must outlive the control (a vanished backend is
// tolerated: calls are then dropped).
class cSysTray : public QObject
{
    Q_OBJECT

public:
    static constexpr qint16 LeftButton = 1;
    static constexpr qint16 RightButton = 2;

    // Sizes of the shell's text buffers, less the terminating zero.
    static constexpr int MaxTipLength = 127;
    static constexpr int MaxBalloonTextLength = 255;
    static constexpr int MaxBalloonTitleLength = 63;

    explicit cSysTray(TrayBackend* backend, QObject* parent = nullptr);
    ~cSysTray() override;

    bool inTray() const { return InTray; }
    void setInTray(bool Show);

    const QIcon& trayIcon() const { return TrayIcon; }
    void setTrayIcon(const QIcon& icon);
    // Accepts only files whose content is an ICO image.
    bool setTrayIconFromFile(const QString& path);

    const QString& trayTip() const { return TrayTip; }
    void setTrayTip(const QString& Tip);

    // Shows a balloon and, for ShowTimer > 0, is done after up to ShowTimer
    // seconds, when it takes the balloon down. Raises Failure::overflow()
    // when ShowTimer seconds do not fit a 32-bit millisecond count.
    QCoro::Task<> ShowBalloon(QString Tip, QString sTitle, qint32 ShowTimer, bool ShowOnce);

    int identifier() const { return IconId; }
    bool iconAdded() const { return IconAdded; }
    bool balloonVisible() const { return BalloonVisible; }
    qint32 balloonCount() const { return BalloonCount; }

public slots:
    void TrayMessage(TrayEvent event);

signals:
    void MouseMove(qint32 Id);
    void MouseDown(qint16 Button, qint32 Id);
    void MouseUp(qint16 Button, qint32 Id);
    void MouseDblClick(qint16 Button, qint32 Id);
    // "Exit" in the icon's menu.
    void ExitChosen();

private:
    static QString cut(const QString& text, int maxLength);

    QPointer<TrayBackend> m_backend;

    bool InTray = false;
    const int IconId = 0;
    QString TrayTip;
    QIcon TrayIcon;
    bool IconAdded = false;
    bool BalloonVisible = false;
    qint32 BalloonCount = 0;

    // The running balloon wait, if any (only one runs at a time), and which
    // of its deadlines counts: a newer balloon moves it.
    Latch* m_waitEnded = nullptr;
    int m_waitDeadline = 0;
};

#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

class QEventLoop;
class QTimer;
class TrayBackend;

// The program's one icon in the notification area: keeps its picture and
// tooltip, shows balloon tips and turns the shell's callback codes into
// mouse events. All traffic to the area goes through a TrayBackend, which
// the caller owns and which must outlive the control (a vanished backend is
// tolerated: calls are then dropped).
class cSysTray : public QObject {
    Q_OBJECT

public:
    // Shell callback codes (WM_MOUSEMOVE.., NIN_BALLOON*).
    static constexpr int MsgMouseMove = 0x200;       // 512
    static constexpr int MsgLeftButtonDown = 0x201;  // 513
    static constexpr int MsgLeftButtonUp = 0x202;    // 514
    static constexpr int MsgLeftDblClick = 0x203;    // 515
    static constexpr int MsgRightButtonDown = 0x204; // 516
    static constexpr int MsgRightButtonUp = 0x205;   // 517
    static constexpr int MsgRightDblClick = 0x206;   // 518
    static constexpr int MsgMiddleButtonDown = 0x207;
    static constexpr int MsgMiddleButtonUp = 0x208;
    static constexpr int MsgMiddleDblClick = 0x209;
    static constexpr int MsgBalloonShow = 0x402;      // 1026
    static constexpr int MsgBalloonHide = 0x403;      // 1027
    static constexpr int MsgBalloonTimeout = 0x404;   // 1028
    static constexpr int MsgBalloonUserClick = 0x405; // 1029

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

    // Shows a balloon and, for ShowTimer > 0, waits up to ShowTimer seconds
    // (events keep flowing) before taking it down. Throws Failure::overflow()
    // when ShowTimer seconds do not fit a 32-bit millisecond count.
    void ShowBalloon(const QString& Tip, const QString& sTitle, qint32 ShowTimer, bool ShowOnce);

    int identifier() const { return IconId; }
    bool iconAdded() const { return IconAdded; }
    bool balloonVisible() const { return BalloonVisible; }
    qint32 balloonCount() const { return BalloonCount; }

public slots:
    void TrayMessage(int message, int identifier);

signals:
    void MouseMove(qint32 Id);
    void MouseDown(qint16 Button, qint32 Id);
    void MouseUp(qint16 Button, qint32 Id);
    void MouseDblClick(qint16 Button, qint32 Id);

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

    // The running balloon wait, if any (only one runs at a time).
    QEventLoop* m_waitLoop = nullptr;
    QTimer* m_waitTimer = nullptr;
};

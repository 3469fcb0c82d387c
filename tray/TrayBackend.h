// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

// What the notification area tells about the icon and its balloon.
enum class TrayEvent {
    MouseMove,
    LeftButtonDown,
    LeftButtonUp,
    LeftDoubleClick,
    RightButtonDown,
    RightButtonUp,
    RightDoubleClick,
    BalloonShown,
    BalloonHidden,
    BalloonTimedOut,
    BalloonClicked,
    MenuRestore, // the icon's menu (StatusNotifierItem hosts only)
    MenuExit,
};

// The notification area as cSysTray sees it. The calls mirror the shell's
// add/modify/delete requests so that the control keeps the same order of
// requests whatever really draws the icon; tests swap in a recording backend.
class TrayBackend : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~TrayBackend() override = default;

    // The desktop's own: a tray icon where a tray host answers.
    // `fallbackIcon` is shown while the icon has no picture of its own.
    static TrayBackend* create(const QIcon& fallbackIcon, QObject* parent);

    // Whether a tray host shows the icon, so a hidden window can come back.
    virtual bool available() const = 0;

    // Puts the icon into the area; a null pointer means "no picture" or "no tooltip".
    virtual void add(const QIcon* icon, const QString* tip) = 0;
    virtual void modifyIcon(const QIcon& icon) = 0;
    virtual void modifyTip(const QString& tip) = 0;
    // Empty title and text take a showing balloon down.
    virtual void balloon(const QString& title, const QString& text, int timeoutMs) = 0;
    virtual void remove() = 0;

    // The XDG activation token the tray host handed over with its last
    // click, once; empty where there was none.
    virtual QString takeActivationToken() { return QString(); }

signals:
    void trayEvent(TrayEvent event);
};

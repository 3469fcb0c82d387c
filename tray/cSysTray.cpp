// SPDX-License-Identifier: GPL-3.0-or-later

#include "cSysTray.h"

#include "base/Failure.h"

#include <QEventLoop>
#include <QImageReader>
#include <QTimer>
#include <QtNumeric>

cSysTray::cSysTray(TrayBackend* backend, QObject* parent) : QObject(parent), m_backend(backend)
{
    if (m_backend)
        connect(m_backend, &TrayBackend::trayEvent, this, &cSysTray::TrayMessage);
}

cSysTray::~cSysTray()
{
    if (InTray)
        setInTray(false);
    // A ShowBalloon still waiting further up the stack must return now.
    if (m_waitLoop)
        m_waitLoop->quit();
}

QString cSysTray::cut(const QString& text, int maxLength)
{
    if (text.size() <= maxLength)
        return text;
    QString result = text.left(maxLength);
    // Half a surrogate pair would show as garbage.
    if (result.back().isHighSurrogate())
        result.chop(1);
    return result;
}

void cSysTray::setInTray(bool Show)
{
    if (Show == InTray)
        return;
    if (Show) {
        const QString tip = cut(TrayTip, MaxTipLength);
        if (m_backend)
            m_backend->add(TrayIcon.isNull() ? nullptr : &TrayIcon, tip.isEmpty() ? nullptr : &tip);
        IconAdded = true;
    } else if (IconAdded) {
        if (m_backend)
            m_backend->remove();
        IconAdded = false;
    }
    InTray = Show;
}

void cSysTray::setTrayIcon(const QIcon& icon)
{
    if (icon.isNull())
        return;
    if (IconAdded && m_backend)
        m_backend->modifyIcon(icon);
    TrayIcon = icon;
}

bool cSysTray::setTrayIconFromFile(const QString& path)
{
    // Judge the content, not the name: a renamed bitmap is still a bitmap.
    QImageReader reader(path);
    if (reader.format() != "ico")
        return false;
    const QIcon icon(path);
    if (icon.isNull())
        return false;
    setTrayIcon(icon);
    return true;
}

void cSysTray::setTrayTip(const QString& Tip)
{
    if (IconAdded && m_backend)
        m_backend->modifyTip(cut(Tip, MaxTipLength));
    TrayTip = Tip;
}

void cSysTray::ShowBalloon(const QString& Tip, const QString& sTitle, qint32 ShowTimer, bool ShowOnce)
{
    if (ShowOnce && BalloonCount >= 1)
        return;

    qint32 timeout = 0;
    if (qMulOverflow(ShowTimer, qint32(1000), &timeout))
        throw Failure::overflow();
    if (ShowTimer <= 0)
        timeout = 0;

    if (m_backend)
        m_backend->balloon(cut(sTitle, MaxBalloonTitleLength), cut(Tip, MaxBalloonTextLength), timeout);
    BalloonVisible = true;
    if (ShowOnce)
        BalloonCount += 1;

    if (ShowTimer <= 0)
        return;

    if (m_waitLoop) {
        // A wait is already running further up the stack: let it take the
        // new balloon down after the new balloon's time instead of nesting.
        m_waitTimer->start(timeout);
        return;
    }

    QPointer<cSysTray> self(this);
    QEventLoop loop;
    QTimer timer; // monotonic, unlike wall-clock time
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    m_waitLoop = &loop;
    m_waitTimer = &timer;
    timer.start(timeout);
    loop.exec();
    if (!self)
        return;
    m_waitLoop = nullptr;
    m_waitTimer = nullptr;

    // Only the shell's notification clears BalloonVisible, so it stays set.
    if (BalloonVisible && m_backend)
        m_backend->balloon(QString(), QString(), 0);
}

void cSysTray::TrayMessage(TrayEvent event)
{
    switch (event) {
    case TrayEvent::MouseMove:
        emit MouseMove(IconId);
        break;
    case TrayEvent::LeftButtonDown:
        emit MouseDown(LeftButton, IconId);
        break;
    case TrayEvent::LeftButtonUp:
        emit MouseUp(LeftButton, IconId);
        break;
    case TrayEvent::LeftDoubleClick:
        emit MouseDblClick(LeftButton, IconId);
        break;
    case TrayEvent::RightButtonDown:
        emit MouseDown(RightButton, IconId);
        break;
    case TrayEvent::RightButtonUp:
        emit MouseUp(RightButton, IconId);
        break;
    case TrayEvent::RightDoubleClick:
        emit MouseDblClick(RightButton, IconId);
        break;
    case TrayEvent::BalloonHidden:
    case TrayEvent::BalloonTimedOut:
    case TrayEvent::BalloonClicked:
        BalloonVisible = false;
        if (m_waitLoop)
            m_waitLoop->quit();
        break;
    case TrayEvent::BalloonShown:
        break;
    case TrayEvent::MenuRestore:
        // "Restore" does what releasing a button over the icon does.
        emit MouseUp(LeftButton, IconId);
        break;
    case TrayEvent::MenuExit:
        emit ExitChosen();
        break;
    }
}

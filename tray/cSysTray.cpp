// SPDX-License-Identifier: GPL-3.0-or-later

#include "cSysTray.h"

#include "base/Clock.h"
#include "base/Failure.h"
#include "base/Latch.h"

#include <QImageReader>
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
    // A ShowBalloon still waiting ends now, while this object is whole; the
    // balloon goes with the icon, so nothing is sent any more.
    m_backend.clear();
    if (m_waitEnded)
        m_waitEnded->open();
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

QCoro::Task<> cSysTray::ShowBalloon(QString Tip, QString sTitle, qint32 ShowTimer, bool ShowOnce)
{
    if (ShowOnce && BalloonCount >= 1)
        co_return;

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
        co_return;

    const int deadline = ++m_waitDeadline;
    const auto takeDownAfter = [this, deadline](int ms) {
        Clock::instance().after(ms, m_waitEnded, [this, deadline] {
            if (deadline == m_waitDeadline && m_waitEnded)
                m_waitEnded->open();
        });
    };
    if (m_waitEnded) {
        // A wait is already running: it takes the new balloon down after the
        // new balloon's time instead of a second wait beside it.
        takeDownAfter(timeout);
        co_return;
    }

    Latch ended;
    m_waitEnded = &ended;
    takeDownAfter(timeout);
    co_await ended.wait();
    m_waitEnded = nullptr;

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
        if (m_waitEnded)
            m_waitEnded->open();
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

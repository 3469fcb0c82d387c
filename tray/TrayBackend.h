#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

// The notification area as cSysTray sees it. The calls mirror the shell's
// add/modify/delete requests so that the control keeps the same order of
// requests whatever really draws the icon; tests swap in a recording backend.
class TrayBackend : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~TrayBackend() override = default;

    // Puts the icon into the area; a null pointer means "no picture" or "no tooltip".
    virtual void add(const QIcon* icon, const QString* tip) = 0;
    virtual void modifyIcon(const QIcon& icon) = 0;
    virtual void modifyTip(const QString& tip) = 0;
    // Empty title and text take a showing balloon down.
    virtual void balloon(const QString& title, const QString& text, int timeoutMs) = 0;
    virtual void remove() = 0;

signals:
    // A callback code from the shell (mouse and balloon notifications).
    void message(int code, int id);
};

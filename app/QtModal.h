// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/Modal.h"

// The real dialogs: QMessageBox, QInputDialog, QColorDialog, the desktop's
// browser. Each is shown application-modal and awaited, never run in an
// event loop of its own.
class QtModal : public Modal
{
public:
    QCoro::Task<> messageBox(const QString& title, const QString& text, Icon icon) override;
    void reportBox(const QString& title, const QString& text, std::function<void()> closed) override;
    QCoro::Task<std::optional<QString>> inputBox(const QString& title, const QString& prompt,
                                                 const QString& proposed) override;
    QCoro::Task<std::optional<QColor>> colorDialog(const QColor& initial) override;
    bool openUrl(const QUrl& url) override;

    // Once the program is closing no new box may hold it open.
    static void setClosing(bool closing);
};

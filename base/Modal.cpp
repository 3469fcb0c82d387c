// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Modal.h"

namespace
{

// Until the GUI installs the real dialogs, boxes go nowhere: a core-only
// program has no one to ask.
class SilentModal : public Modal
{
public:
    QCoro::Task<> messageBox(const QString&, const QString&, Icon) override { co_return; }
    void reportBox(const QString&, const QString&, std::function<void()> closed) override { closed(); }
    QCoro::Task<std::optional<QString>> inputBox(const QString&, const QString&, const QString&) override
    {
        co_return std::nullopt;
    }
    QCoro::Task<std::optional<QColor>> colorDialog(const QColor&) override { co_return std::nullopt; }
    bool openUrl(const QUrl&) override { return false; }
};

SilentModal g_silent;
Modal* g_default = &g_silent;
Modal* g_installedModal = nullptr;

} // namespace

Modal& Modal::instance()
{
    return g_installedModal ? *g_installedModal : *g_default;
}

void Modal::install(Modal* modal)
{
    g_installedModal = modal;
}

void Modal::setDefault(Modal* modal)
{
    g_default = modal ? modal : &g_silent;
}

QCoro::Task<> showMessage(QString text)
{
    co_await Modal::instance().messageBox(applicationTitle(), text, Modal::Icon::NoIcon);
}

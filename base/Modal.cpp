// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Modal.h"

namespace
{

// Until the GUI installs the real dialogs, boxes go nowhere: a core-only
// program has no one to ask.
class SilentModal : public Modal
{
public:
    void messageBox(const QString&, const QString&, Icon) override {}
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QColor> colorDialog(const QColor&) override { return std::nullopt; }
    bool openUrl(const QUrl&) override { return false; }
};

SilentModal g_silent;
Modal* g_default = &g_silent;
Modal* g_installed = nullptr;

} // namespace

Modal& Modal::instance()
{
    return g_installed ? *g_installed : *g_default;
}

void Modal::install(Modal* modal)
{
    g_installed = modal;
}

void Modal::setDefault(Modal* modal)
{
    g_default = modal ? modal : &g_silent;
}

void showMessage(const QString& text)
{
    Modal::instance().messageBox(applicationTitle(), text, Modal::Icon::NoIcon);
}

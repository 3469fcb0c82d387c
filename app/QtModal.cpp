// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/QtModal.h"

#include "base/Latch.h"
#include "base/WindowRoutines.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace
{

bool g_closing = false;

// One box at a time: a box opened while another shows would cover it, and
// the one behind goes unseen until the top one is closed. Later boxes wait
// their turn, in the order they came.
bool g_boxShowing = false;
QList<std::function<void()>> g_waitingBoxes;

void takeTurn(std::function<void()> show)
{
    if (g_boxShowing) {
        g_waitingBoxes.append(std::move(show));
        return;
    }
    g_boxShowing = true;
    show();
}

void endTurn()
{
    if (g_waitingBoxes.isEmpty()) {
        g_boxShowing = false;
        return;
    }
    g_waitingBoxes.takeFirst()();
}

// The turn of an awaited box, from its start until it is closed.
class Turn
{
public:
    QCoro::Task<> wait()
    {
        QPointer<Latch> mine(&m_latch);
        takeTurn([mine] {
            if (mine) {
                mine->open();
            } else {
                endTurn(); // its wait was given up
            }
        });
        co_await m_latch.wait();
    }
    ~Turn()
    {
        if (m_latch.isOpen()) {
            endTurn();
        }
    }

private:
    Latch m_latch;
};

// The window the user is at, when a box may go over it; otherwise none, and
// the box stands on its own, application-modal and centred on the screen.
QWidget* owner()
{
    return boxParent(QApplication::activeWindow());
}

} // namespace

void QtModal::setClosing(bool closing)
{
    g_closing = closing;
}

// Boxes show text from outside (answers, place names, paths): never as
// markup, and selectable so that an address or a report can be copied.
static void asPlainText(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

// Line breaks arrive as CR LF and bare CRs (an empty line is two CRs).
static QString forDisplay(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QCoro::Task<> QtModal::messageBox(const QString& title, const QString& text, Icon icon)
{
    Turn turn;
    co_await turn.wait();
    if (g_closing) {
        co_return;
    }
    auto* box = new QMessageBox(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                                forDisplay(text), QMessageBox::Ok, owner());
    asPlainText(*box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    co_await shownUntilClosed(box);
}

void QtModal::reportBox(const QString& title, const QString& text, std::function<void()> closed)
{
    takeTurn([title, text, closed = std::move(closed)] {
        if (g_closing) {
            endTurn();
            closed();
            return;
        }
        auto* box = new QMessageBox(QMessageBox::Warning, title, forDisplay(text), QMessageBox::Ok, owner());
        asPlainText(*box);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::ApplicationModal);
        QObject::connect(box, &QMessageBox::finished, box, [closed] {
            endTurn();
            closed();
        });
        box->show();
    });
}

QCoro::Task<std::optional<QString>> QtModal::inputBox(const QString& title, const QString& prompt,
                                                      const QString& proposed)
{
    Turn turn;
    co_await turn.wait();
    if (g_closing) {
        co_return std::nullopt;
    }
    QPointer<QInputDialog> box = new QInputDialog(owner());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowTitle(title);
    box->setLabelText(forDisplay(prompt));
    box->setTextValue(proposed);
    // Read as it closes; it deletes itself at the next turn of the event loop.
    const int result = co_await shownUntilClosed(box);
    if (result != QDialog::Accepted || !box || g_closing) {
        co_return std::nullopt;
    }
    co_return box->textValue();
}

QCoro::Task<std::optional<QColor>> QtModal::colorDialog(const QColor& initial)
{
    Turn turn;
    co_await turn.wait();
    if (g_closing) {
        co_return std::nullopt;
    }
    QPointer<QColorDialog> box = new QColorDialog(initial, owner());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    const int result = co_await shownUntilClosed(box);
    if (result != QDialog::Accepted || !box || g_closing) {
        co_return std::nullopt;
    }
    const QColor chosen = box->currentColor();
    if (!chosen.isValid()) {
        co_return std::nullopt;
    }
    co_return chosen;
}

bool QtModal::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

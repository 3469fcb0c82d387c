// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <QCoroTask>

class QDialog;
class QLineEdit;
class QWidget;

// Shows the dialog (modal as it is set up) and is done when it has closed,
// by the user, by closing all windows or by being deleted. The result
// code, QDialog::Rejected when it went without one.
QCoro::Task<int> shownUntilClosed(QDialog* dialog);

// Gives the window, and its option buttons, check boxes, frames and labels,
// the system's button-face colour.
void ApplyButtonFace(QWidget* window);

// Makes the hand pointer file the pointer over the window's push buttons.
// Raises Failure when the file is there but is no cursor.
void applyHandPointer(QWidget* window, const QString& cursorFile);

// Sets every push button's caption font: Arial 11.25 pt bold.
void applyButtonFonts(QWidget* window);

// Selects the box's whole text whenever it gets the focus.
void selectAllOnFocus(QLineEdit* box);

// Moves a top-level window to the middle of the screen it is on (the
// primary screen before it was ever shown).
void centreOnScreen(QWidget* window);

// A tooltip that shows `text` as it is, even when it looks like markup.
QString plainToolTip(const QString& text);

// The longest XDG activation token taken from another program.
constexpr int kMaxActivationTokenLength = 400;

// Whether text from outside (a second start, a tray host) can be an XDG
// activation token: printable ASCII without spaces, and short.
bool isActivationToken(const QString& token);

// Brings a top-level window back from minimised or hidden, raised, and asks
// for the focus with `activationToken` (XDG activation on Wayland) when there
// is one. Where Wayland gives no token, the window is mapped afresh: the
// compositor may have minimised it without telling, and a new mapping is
// never minimised.
void bringForward(QWidget* window, const QString& activationToken);

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

// What a box needs to know of the window it would be shown over.
struct OwnerState {
    bool visible = false;   // on screen: not hidden, not in the tray
    bool minimized = false; // as far as anyone told the program
    bool active = false;    // has the focus
};

// A box goes over its owner (a transient of it, centred on it) only while
// the user has that window in front of them. Otherwise it stands on its own,
// centred on the screen: a transient of a minimised or hidden window is
// minimised or hidden with it, and the user sees nothing.
bool showOverOwner(const OwnerState& owner);
OwnerState ownerState(const QWidget* window);
// The window, when a box may be shown over it; null when it stands on its own.
QWidget* boxParent(QWidget* owner);

// Remembers a minimise asked for through the window's own title bar. On
// Wayland the compositor never says that a window went, and Qt takes the
// state back at once; the request is all the program ever sees. Forgotten
// when the window is shown or activated again.
void watchMinimize(QWidget* window);

// Whether the program runs as a Wayland client.
bool onWayland();

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

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QWidget;

// Whether the title bars are the program's to draw: on Wayland, where the
// compositor offers no decorations of its own (GNOME). Qt's own title bar
// there has minimise and maximise buttons whatever the window asks for.
bool titleBarsLeftToProgram();

// Gives a fixed-size window a title bar of its own, with its title and a
// close box only, in place of the window system's: the window grows by the
// bar's height and its contents move down. Dragging the bar moves the window.
void useOwnTitleBar(QWidget* window);

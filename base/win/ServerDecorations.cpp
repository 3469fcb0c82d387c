// SPDX-License-Identifier: GPL-3.0-or-later

// Windows draws every window's frame itself.
bool serverSideDecorations()
{
    return true;
}

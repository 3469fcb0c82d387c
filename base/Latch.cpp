// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Latch.h"

void Latch::open()
{
    if (!m_open) {
        m_open = true;
        emit opened();
    }
}

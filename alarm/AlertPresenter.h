// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "alarm/AlertFigures.h"

#include <QCoroTask>

// Where the monitor shows an alert: the alert window in the program, a
// recorder in tests. The monitor awaits it: the poll timer stays stopped
// until the user has closed the alert.
class AlertPresenter
{
public:
    virtual ~AlertPresenter() = default;

    // Done when the user has closed the alert, or closeAlert() took it away.
    virtual QCoro::Task<> showAlert(AlertFigures figures) = 0;
    // The program is closing: an open alert goes now.
    virtual void closeAlert() = 0;
};

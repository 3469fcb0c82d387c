// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "alarm/AlertFigures.h"
#include "alarm/AlertPresenter.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class AlarmSound;
class QTreeWidget;
class QLabel;

// The alert: one row with location, target and current temperature, and the
// alarm sound played once. Loaded afresh for every alert.
class Form2 : public QDialog
{
    Q_OBJECT

public:
    // `programFolder` is where the alarm sound is looked for first.
    Form2(QWidget* owner, const AlertFigures& figures, const QString& programFolder);
    ~Form2() override;

    // Called with every alert as it opens (tests answer it).
    static void setOpenedHook(std::function<void(Form2*)> hook);

    QTreeWidget* ListView1 = nullptr;
    AlarmSound* MMControl1 = nullptr;
    // Says why the alert is silent; hidden while the sound is fine.
    QLabel* SoundProblem = nullptr;

private:
    void Form_Load();
    void showSoundProblem(const QString& text);

    AlertFigures m_figures;
    QString m_programFolder;
};

// Each alert in a Form2 of its own, over the main window when that is in front.
class AlertWindows : public AlertPresenter
{
public:
    AlertWindows(QWidget* owner, QString programFolder);

    QCoro::Task<> showAlert(AlertFigures figures) override;
    void closeAlert() override;

    Form2* openAlert() const { return m_open; }

private:
    QPointer<QWidget> m_owner;
    QString m_programFolder;
    QPointer<Form2> m_open;
};

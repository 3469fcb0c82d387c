// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "tray/TrayTexts.h"

#include <QByteArray>
#include <QScopedPointer>
#include <QWidget>

#include <QCoroTask>

#include <memory>
#include <optional>

class AlertWindows;
class Core;
class Form3;
class Inet;
class QRadioButton;
class QTimer;
class SystemState;
class TemperatureMonitor;
class TrayBackend;
class cSysTray;
namespace Ui
{
class Form1;
}

// What a start may set up beforehand and tests may change.
struct Form1Options {
    int pollIntervalMs = 60000;
    QString programFolder;              // empty: the running program's folder
    TrayBackend* trayBackend = nullptr; // null: one of its own for the desktop's notification area
    SystemState* systemState = nullptr; // null: the system's own word on sleep and the network
    int converterTimeoutMs = 10000;
    QByteArray converter; // empty: the icon converter the program carries
};

// The main window: shows what the monitor reads, forwards the user's choices
// to it, keeps the settings in step with the controls and owns the tray icon.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(const Form1Options& options = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // Loading: restores every setting; runs before the window is first shown.
    void Form_Load();
    // Shows the window as loading left it: on screen, or straight in the tray.
    void showAsLoaded();

    // A refresh of status line, tooltip and tray icon, then the alarm step.
    QCoro::Task<> ListTemp(bool InTimer);
    // Whether the target counts as reached by a fresh reading.
    QCoro::Task<bool> HasReachedTemp();
    // Draws the target text centred into the colour sample.
    void DrawSample();

    // What a click on the tray icon does: the window comes back, raised, and
    // an open alert stays in front of it. The token, from whatever asked for
    // the window, lets it take the focus on Wayland.
    void restoreFromTray(const QString& activationToken = QString());

    // Runs the closing steps once; the program then ends.
    void closeProgram();

    TemperatureMonitor* monitor() const { return m_monitor; }
    bool startingUp() const { return StartingUp; }
    bool minimizedToTray() const { return MinimizedToTray; }
    double lastAlarmTemp() const;
    bool alarmShown() const;
    QTimer* pollTimer() const;
    cSysTray* trayControl() const { return cSysTray1; }
    // The alert open now, if any.
    QWidget* openAlert() const;
    Form3* keyDialog() const { return m_form3.get(); }
    Inet* transfer() const;
    // Where the refresh writes "CurTemp.bmp" and "CurTemp.ico".
    QString iconFilesFolder() const;
    QString programFolder() const { return m_programFolder; }

signals:
    // After every refresh (tests and benchmarks wait for it).
    void refreshed();
    // The closing steps have run; the program ends now (main quits on it).
    void closed();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QCoro::Task<> Form_Activate();
    void Form_Resize();
    // Hides the window into the tray, with the balloon the first time.
    void hideToTray();
    // Says once that there is no tray, when there is none.
    void tellNoTray();
    void Form_QueryUnload();
    void ApplySkin();
    void cSysTray1_MouseUp(qint16 Button, qint32 Id);
    QCoro::Task<> Check3_Click();
    void Check8_Click();
    void Text2_Change();
    void DirectionOption_Click();
    void UnitOption_Click();
    QCoro::Task<> PushButton1_Click();
    QCoro::Task<> PushButton2_Click();
    QCoro::Task<> PushButton3_Click();
    QCoro::Task<> PushButton4_Click();
    void PushButton5_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    QCoro::Task<> changeColor(bool background, QString operation);
    // The core's values in the controls that show them.
    void showLocation(const QString& location);
    void showColors();
    void showTemperature(const TemperatureTexts& texts);
    void setOption(QRadioButton* option, bool selected);

    QScopedPointer<Ui::Form1> ui;
    Form1Options m_options;
    QString m_programFolder;

    Core* m_core = nullptr;
    TemperatureMonitor* m_monitor = nullptr; // the core's
    std::unique_ptr<AlertWindows> m_alerts;
    cSysTray* cSysTray1 = nullptr;
    TrayBackend* m_tray = nullptr;
    // Loaded on first use; OK only hides it, the close box unloads it.
    std::unique_ptr<Form3> m_form3;

    bool StartingUp = false;
    bool MinimizedToTray = false;
    bool m_startMinimized = false;
    bool m_activating = false;
    bool m_toldNoTray = false;
    bool m_placed = false;
    // Where the inside of the window was when it was last hidden.
    std::optional<QPoint> m_lastPlace;
    bool m_closed = false;
};

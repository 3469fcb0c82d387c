#pragma once

#include "alarm/AlarmDecision.h"
#include "weather/WeatherText.h"

#include <QPointer>
#include <QScopedPointer>
#include <QWidget>

#include <functional>

class Inet;
class QTimer;
class TrayBackend;
class cSysTray;
class QRadioButton;
class PictureBox;
class Form3;
namespace Ui {
class Form1;
}

// What tests may change; a normal start leaves everything at its default.
struct Form1Options {
    int pollIntervalMs = 60000;
    QString programFolder;              // empty: the running program's folder
    TrayBackend* trayBackend = nullptr; // null: the desktop's notification area
    std::function<bool()> trayAvailable; // empty: ask the desktop
    int converterTimeoutMs = 10000;
};

// The main window. It owns the program: the alarm settings, the icon colours,
// the start-up options, the poll timer, the web request and the tray icon.
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(const Form1Options& options = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // Loading: restores every setting; runs before the window is first shown.
    void Form_Load();
    // Shows the window as loading left it: on screen, or straight in the tray.
    void showAsLoaded();

    // One reading for the location and unit on the window.
    double getWeather(bool InTimer);
    // Refreshes status line, tooltip and tray icon, then runs the alarm step.
    void ListTemp(bool InTimer);
    // Draws the target text centred into the colour sample.
    void DrawSample();
    // Whether the target counts as reached by a fresh reading.
    bool HasReachedTemp();

    // Runs the closing steps once; the program then ends.
    void closeProgram();

    double CurTemp = 0;
    double TargTemp = 0;
    QString CityName;

    bool startingUp() const { return StartingUp; }
    bool minimizedToTray() const { return MinimizedToTray; }
    double lastAlarmTemp() const { return LastAlarmTemp; }
    bool alarmShown() const { return AlarmShown; }
    TempUnit unit() const;
    Direction direction() const;
    cSysTray* trayControl() const { return cSysTray1; }
    QTimer* pollTimer() const { return Timer1; }
    Form3* keyDialog() const;
    Inet* transfer() const { return Inet1; }
    // Where the refresh writes "CurTemp.bmp" and "CurTemp.ico".
    QString iconFilesFolder() const;
    QString programFolder() const { return m_programFolder; }
    // The location the readings are for, as the user entered it.
    QString location() const;

signals:
    // After every refresh (tests and benchmarks wait for it).
    void refreshed();
    // The closing steps have run; the program ends now (main quits on it).
    void closed();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Activate();
    void Form_Resize();
    void Form_QueryUnload();
    void ApplySkin();
    void cSysTray1_MouseUp(qint16 Button, qint32 Id);
    void Check3_Click();
    void Check8_Click();
    void Text2_Change();
    void DirectionOption_Click();
    void UnitOption_Click();
    void Timer1_Timer();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void changeColor(PictureBox* swatch, const char* key, bool background, const QString& operation);
    void alarmStep();
    void drawTrayIcon();
    void setOption(QRadioButton* option, bool selected);
    bool trayAvailable() const;

    QScopedPointer<Ui::Form1> ui;
    Form1Options m_options;
    QString m_programFolder;
    mutable QString m_iconFolder;

    cSysTray* cSysTray1 = nullptr;
    QPointer<Form3> m_form3; // loaded on first use, kept while only hidden
    TrayBackend* m_ownBackend = nullptr;
    QTimer* Timer1 = nullptr;
    Inet* Inet1 = nullptr;

    bool StartingUp = false;
    bool MinimizedToTray = false;
    bool m_startMinimized = false;
    double LastAlarmTemp = 0;
    bool AlarmShown = false;

    bool m_activating = false;
    bool m_closed = false;
    int m_refreshDepth = 0;
};

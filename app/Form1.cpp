// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/Form1.h"

#include "ui_Form1.h"

#include "alarm/Core.h"
#include "alarm/Form2.h"
#include "alarm/PanelTexts.h"
#include "alarm/TemperatureMonitor.h"
#include "base/Clock.h"
#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/Modal.h"
#include "base/Paths.h"
#include "base/WindowRoutines.h"
#include "base/modStartUp.h"
#include "resources/AppIcon.h"
#include "tray/TemperatureIcon.h"
#include "tray/TrayBackend.h"
#include "tray/cSysTray.h"
#include "weather/Form3.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHideEvent>
#include <QShowEvent>
#include <QTimer>

namespace
{

const QString kNoTrayText =
    QStringLiteral("Tepora found no system tray on this desktop, so it cannot hide in one: minimized, or "
                   "started in the system tray, it stays an ordinary window. Once a tray appears, Tepora "
                   "uses it.");
// How long a start waits for a tray before it says there is none: at login
// the panel may come a few seconds after the program.
constexpr int kTrayGraceMs = 15000;

const QString kBalloonText =
    QStringLiteral("has been minimized to the system tray.\r\n"
                   "Click on the blue 'R' icon (R for Ravensel) to bring the software back.");

// Runs a handler that has no report of its own; a failure there (a store that
// cannot be written) is still shown rather than lost.
template <class F> void unreported(const QString& operation, F&& action)
{
    Procedure p(QStringLiteral("Form1"), operation);
    p.run(100, std::forward<F>(action));
}

QFont sampleFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    font.setBold(true);
    return font;
}

} // namespace

Form1::Form1(const Form1Options& options, QWidget* parent)
    : QWidget(parent), ui(new Ui::Form1), m_options(options)
{
    ui->setupUi(this);
    m_programFolder = options.programFolder.isEmpty() ? programDir() : options.programFolder;

    // Fixed single border with a minimise button only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(536, 520);
    // Boxes must know when it is minimised, also where only Qt's title bar knows.
    watchMinimize(this);
    // Design look: white window and groups until a skin asks for the button face.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    applyButtonFonts(this);
    ui->Label2->setTextFormat(Qt::PlainText);
    ui->Label1->setTextFormat(Qt::PlainText);
    // Empty until the first refresh: the design text is no reading.
    ui->Label2->clear();

    m_tray = options.trayBackend ? options.trayBackend : TrayBackend::create(applicationIcon(), this);
    m_core = new Core(m_tray, options.converterTimeoutMs, options.systemState, this);
    m_monitor = &m_core->monitor();
    cSysTray1 = &m_core->trayControl();
    cSysTray1->setTrayIcon(applicationIcon());
    m_monitor->setKeyButtonCaption(ui->PushButton5->text());
    m_alerts = std::make_unique<AlertWindows>(this, m_programFolder);
    m_core->setAlertPresenter(m_alerts.get());
    connect(m_monitor, &TemperatureMonitor::temperatureShown, this, &Form1::showTemperature);
    connect(m_monitor, &TemperatureMonitor::refreshed, this, [this] {
        ui->Picture1->setImage(m_core->icon().canvas());
        emit refreshed();
    });

    connect(cSysTray1, &cSysTray::MouseUp, this, &Form1::cSysTray1_MouseUp);
    // The same closing steps as the close box.
    connect(cSysTray1, &cSysTray::ExitChosen, this, &QWidget::close);
    connect(ui->Check3, &QCheckBox::toggled, this, &Form1::Check3_Click);
    connect(ui->Check8, &QCheckBox::toggled, this, &Form1::Check8_Click);
    connect(ui->Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    // Only the user's clicks (and arrow keys) change the options: loading
    // shows what the core read.
    for (QRadioButton* option : {ui->Option1, ui->Option2, ui->Option3}) {
        connect(option, &QRadioButton::clicked, this, &Form1::DirectionOption_Click);
    }
    for (QRadioButton* option : {ui->Option4, ui->Option5}) {
        connect(option, &QRadioButton::clicked, this, &Form1::UnitOption_Click);
    }
    connect(ui->PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(ui->PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(ui->PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(ui->PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(ui->PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(ui->PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(ui->PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    // The input box selects the whole target when it gets the focus.
    selectAllOnFocus(ui->Text2);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { closeProgram(); });
}

Form1::~Form1()
{
    closeProgram();
}

double Form1::lastAlarmTemp() const
{
    return m_monitor->lastAlarmTemp();
}

bool Form1::alarmShown() const
{
    return m_monitor->alarmShown();
}

QTimer* Form1::pollTimer() const
{
    return m_monitor->pollTimer();
}

Inet* Form1::transfer() const
{
    return &m_core->transfer();
}

QString Form1::iconFilesFolder() const
{
    return m_core->icon().pipeline().folder();
}

QWidget* Form1::openAlert() const
{
    return m_alerts->openAlert();
}

void Form1::setOption(QRadioButton* option, bool selected)
{
    if (selected) {
        option->setChecked(true);
        return;
    }
    // An exclusive option refuses to be cleared; the store may hold no choice at all.
    const bool exclusive = option->autoExclusive();
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(exclusive);
}

void Form1::showLocation(const QString& location)
{
    ui->Label1->setText(location);
    // The whole place also where the label is too narrow for it.
    ui->Label1->setToolTip(plainToolTip(location));
}

void Form1::showColors()
{
    ui->Picture2->setBackColor(m_core->fontColor());
    ui->Picture3->setBackColor(m_core->backgroundColor());
    ui->Picture4->setForeColor(m_core->fontColor());
    ui->Picture4->setBackColor(m_core->backgroundColor());
}

void Form1::Form_Load()
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    p.run(100, [&] { StartingUp = true; });
    p.run(102, [&] { ApplySkin(); });
    const QString handFile = dataFilePath(m_programFolder, QStringLiteral("HAND-M.CUR"));
    if (p.test(106, [&] { return PathExists(handFile); })) {
        p.run(108, [&] { applyHandPointer(this, handFile); });
    }
    p.run(128, [&] {
        setWindowTitle(applicationTitle());
        setWindowIcon(applicationIcon());
    });
    p.run(130, [&] { cSysTray1->setTrayTip(applicationTitle()); });
    p.run(132, [&] { cSysTray1->setInTray(true); });
    // Every stored value, each read as its kind: one out of range or of the
    // wrong kind is its default.
    m_core->loadSettings();
    p.run(134, [&] { ui->Check3->setChecked(m_core->startsAtLogin()); });
    p.run(136, [&] { ui->Check8->setChecked(m_core->startsInTray()); });
    if (p.test(138, [&] { return ui->Check8->isChecked(); })) {
        p.run(140, [&] { m_startMinimized = true; });
    }
    p.run(142, [&] { showLocation(m_core->location()); });
    p.run(144, [&] { ui->Text2->setText(m_core->targetText()); });
    const Core::Options options = m_core->options();
    p.run(146, [&] { setOption(ui->Option1, options.rises); });
    p.run(148, [&] { setOption(ui->Option2, options.falls); });
    p.run(150, [&] { setOption(ui->Option3, options.both); });
    p.run(152, [&] { setOption(ui->Option4, options.fahrenheit); });
    p.run(154, [&] { setOption(ui->Option5, options.celsius); });
    p.run(156, [&] { showColors(); });
    p.run(170, [&] { DrawSample(); });
    p.run(172, [&] { m_monitor->setPollInterval(m_options.pollIntervalMs); });
    p.run(174, [&] { m_monitor->startPolling(); });
    p.run(178, [&] { m_core->deployConverter(m_options.converter); });
}

void Form1::showAsLoaded()
{
    // Said after a while rather than when minimising: Wayland compositors
    // minimise without telling, and a box raised over a window that is
    // going away would go unseen.
    Clock::instance().after(kTrayGraceMs, this, [this] { tellNoTray(); });
    if (m_startMinimized && m_tray->available()) {
        // Straight to the tray, never minimised first: a window that carries
        // a minimised state is mapped iconic by some window managers when it
        // comes back, and would then be hidden again.
        hideToTray();
        // A window that starts hidden is not activated: the first reading,
        // and the alarm's starting point, come now rather than at the first
        // click on the icon.
        QMetaObject::invokeMethod(
            this, [this] { Form_Activate(); }, Qt::QueuedConnection);
        return;
    }
    // Without a tray the window could never be brought back from it.
    if (m_startMinimized) {
        showMinimized();
    } else {
        show();
    }
}

void Form1::ApplySkin()
{
    const QString skin = dataFilePath(m_programFolder, QStringLiteral("x/o.cjs"));
    const QFileInfo info(skin);
    if (!info.exists() || !info.isFile()) {
        return;
    }
    ApplyButtonFace(this);
    QFile file(skin);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Failure::pathFileAccess();
    }
    setStyleSheet(QString::fromUtf8(file.read(1024 * 1024)));
}

void Form1::DrawSample()
{
    PictureBox* box = ui->Picture4;
    // A shorter text drawn over a longer one would leave the longer one's ends.
    box->setBackColor(box->backColor());
    const QFontMetricsF metrics(sampleFont(), &box->image());
    const QString text = ui->Text2->text();
    const QSizeF inner = box->innerSize();
    const QPointF at(inner.width() / 2 - metrics.horizontalAdvance(text) / 2,
                     inner.height() / 2 - metrics.height() / 2);
    box->print(at, text, sampleFont());
}

bool Form1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        QMetaObject::invokeMethod(
            this, [this] { Form_Activate(); }, Qt::QueuedConnection);
    }
    return QWidget::event(event);
}

QCoro::Task<> Form1::Form_Activate()
{
    if (m_activating || m_closed) {
        co_return;
    }
    m_activating = true;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("Form_Activate"));
    if (!p.test(100, [&] { return !StartingUp; })) {
        p.run(106, [&] { DrawSample(); });
        co_await p.step(108, [&] { return m_monitor->primeAlarm(); });
        p.run(110, [&] { m_monitor->rearm(); });
        co_await p.step(112, [&] { return m_monitor->ListTemp(true); });
    }
    p.run(114, [&] { StartingUp = false; });
    m_activating = false;
}

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !MinimizedToTray) {
        // Leave the event handler before hiding and waiting for the balloon.
        QMetaObject::invokeMethod(this, &Form1::Form_Resize, Qt::QueuedConnection);
    }
}

void Form1::Form_Resize()
{
    if (!(windowState() & Qt::WindowMinimized) || MinimizedToTray || m_closed) {
        return;
    }
    if (!m_tray->available()) {
        return; // an ordinary minimise: there is no tray to come back from
    }
    // Hidden while still minimised: leaving that state here would map the
    // window again on X11. The restore from the tray clears it.
    hideToTray();
}

void Form1::tellNoTray()
{
    if (m_toldNoTray || m_closed || m_tray->available()) {
        return;
    }
    m_toldNoTray = true;
    showMessage(kNoTrayText);
}

void Form1::hideToTray()
{
    hide();
    MinimizedToTray = true;
    // The fixed five seconds cannot overflow; the wait for the balloon runs
    // on by itself.
    cSysTray1->ShowBalloon(kBalloonText, applicationTitle(), 5, true);
}

void Form1::cSysTray1_MouseUp(qint16, qint32)
{
    // Plasma hands the item a token before it reports the click.
    restoreFromTray(m_tray->takeActivationToken());
}

void Form1::restoreFromTray(const QString& activationToken)
{
    if (m_closed) {
        return;
    }
    bringForward(this, activationToken);
    MinimizedToTray = false;
    // An open alert stays in front of the window it belongs to.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

QCoro::Task<> Form1::Check3_Click()
{
    if (StartingUp) {
        co_return; // loading sets the box from the store; nothing to write
    }
    if (ui->Check3->isChecked()) {
        ui->Check8->setVisible(true);
        unreported(QStringLiteral("Check3_Click"), [&] { m_core->setStartsAtLogin(true); });
        if (!AddToStartup()) {
            ui->Check3->setChecked(false); // runs the unticked branch
            co_await showMessage(
                QStringLiteral("Tepora could not be set to start when you log in: the entry in \"%1\" "
                               "could not be written.")
                    .arg(QDir::toNativeSeparators(RunEntryPlace::defaultAutostartFolder())));
        }
        co_return;
    }
    ui->Check8->setChecked(false);
    ui->Check8->setVisible(false);
    unreported(QStringLiteral("Check3_Click"), [&] { m_core->setStartsAtLogin(false); });
    if (!RemoveFromStartup()) {
        co_await showMessage(
            QStringLiteral("Tepora could not remove its entry from \"%1\", so it may still start when you "
                           "log in. Please delete the file tepora.desktop there.")
                .arg(QDir::toNativeSeparators(RunEntryPlace::defaultAutostartFolder())));
    }
}

void Form1::Check8_Click()
{
    unreported(QStringLiteral("Check8_Click"), [&] { m_core->setStartsInTray(ui->Check8->isChecked()); });
}

void Form1::Text2_Change()
{
    unreported(QStringLiteral("Text2_Change"), [&] { m_core->setTargetText(ui->Text2->text()); });
}

void Form1::DirectionOption_Click()
{
    unreported(QStringLiteral("Option_Click"), [&] {
        m_core->setDirectionOptions(ui->Option1->isChecked(), ui->Option2->isChecked(),
                                    ui->Option3->isChecked());
    });
}

void Form1::UnitOption_Click()
{
    unreported(QStringLiteral("Option_Click"),
               [&] { m_core->setUnitOptions(ui->Option4->isChecked(), ui->Option5->isChecked()); });
    // The reading in the new unit now, not at the next poll: the same quiet
    // refresh a tick runs, so the alarm rules are unchanged.
    m_monitor->ListTemp(true);
}

QCoro::Task<> Form1::ListTemp(bool InTimer)
{
    return m_monitor->ListTemp(InTimer);
}

QCoro::Task<bool> Form1::HasReachedTemp()
{
    return m_monitor->HasReachedTemp();
}

void Form1::showTemperature(const TemperatureTexts& texts)
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
    p.run(108, [&] {
        ui->Label2->setText(texts.statusLine);
        // The whole text also where the label is too narrow for it.
        ui->Label2->setToolTip(plainToolTip(texts.statusLine));
    });
}

QCoro::Task<> Form1::PushButton1_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton1_Click"));
    co_await p.step(100,
                    [&] { return showMessage(directionHelpText(ui->Option1->text(), ui->Option2->text())); });
}

QCoro::Task<> Form1::PushButton2_Click()
{
    UserRequestScope asked;
    co_await m_monitor->testAlarm();
}

QCoro::Task<> Form1::PushButton3_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton3_Click"));
    co_await p.step(100, [&] { return showMessage(testAlarmHelpText()); });
}

QCoro::Task<> Form1::PushButton4_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton4_Click"));
    std::optional<QString> answer;
    co_await p.step(100, [&]() -> QCoro::Task<> {
        answer =
            co_await Modal::instance().inputBox(applicationTitle(), locationPrompt(), ui->Label1->text());
    });
    if (!answer || answer->isEmpty() || m_closed) {
        co_return;
    }
    p.run(102, [&] { showLocation(*answer); });
    // A store that cannot be written is reported; the readings follow the new
    // place all the same.
    p.run(104, [&] { m_core->setLocation(*answer); });
    p.run(106, [&] { m_monitor->rearm(); });
    co_await p.step(108, [&] { return m_monitor->ListTemp(false); });
}

void Form1::PushButton5_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton5_Click"));
    p.run(100, [&] {
        if (!m_form3) {
            m_form3 = std::make_unique<Form3>(
                m_core->transfer(), [this] { return m_core->location(); }, m_programFolder);
            connect(m_form3.get(), &Form3::keyAccepted, this, [this] { m_monitor->ListTemp(true); });
            connect(m_form3.get(), &Form3::leaving, this, [this] {
                if (!m_closed) {
                    show();
                }
            });
            // Unloaded from its own close handler: deleted once that has returned.
            connect(m_form3.get(), &Form3::unloaded, this, [this] { m_form3.release()->deleteLater(); });
        }
        m_form3->show();
        m_form3->raise();
        m_form3->activateWindow();
    });
    // The dialog brings the main window back when the user leaves it.
    p.run(102, [&] { hide(); });
}

QCoro::Task<> Form1::changeColor(bool background, QString operation)
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), operation);
    QColor color;
    p.run(100, [&] { color = background ? m_core->backgroundColor() : m_core->fontColor(); });
    co_await p.step(102, [&]() -> QCoro::Task<> {
        // A cancel keeps the colour the dialog was opened with.
        const std::optional<QColor> chosen = co_await Modal::instance().colorDialog(color);
        if (chosen) {
            color = *chosen;
        }
    });
    if (m_closed) {
        co_return;
    }
    p.run(106, [&] {
        if (background) {
            m_core->setBackgroundColor(color);
        } else {
            m_core->setFontColor(color);
        }
    });
    p.run(108, [&] { showColors(); });
    p.run(112, [&] { DrawSample(); });
    co_await p.step(114, [&] { return m_monitor->ListTemp(false); });
}

void Form1::PushButton7_Click()
{
    changeColor(false, QStringLiteral("PushButton7_Click"));
}

void Form1::PushButton8_Click()
{
    changeColor(true, QStringLiteral("PushButton8_Click"));
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    closeProgram();
}

void Form1::showEvent(QShowEvent* event)
{
    // Centred the first time; afterwards back where the user left it (a
    // window manager may place a window that is mapped again elsewhere).
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(this);
    } else if (m_lastPlace) {
        setGeometry(QRect(*m_lastPlace, size()));
    }
    QWidget::showEvent(event);
}

void Form1::hideEvent(QHideEvent* event)
{
    // The inside of the window, not its frame: what Qt knows of the frame
    // may be out of date (MATE, GNOME under Xwayland), and a frame position
    // read with one idea of the frame and set with another moved the window
    // by a title bar.
    if (m_placed && !event->spontaneous()) {
        m_lastPlace = geometry().topLeft();
    }
    QWidget::hideEvent(event);
}

void Form1::Form_QueryUnload()
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("Form_QueryUnload"));
    p.run(100, [&] { m_core->removeConverter(); });
    p.run(102, [&] { m_core->stop(); });
    p.run(104, [&] { cSysTray1->setInTray(false); });
}

void Form1::closeProgram()
{
    if (m_closed) {
        return;
    }
    m_closed = true;
    // No tick, reading or alert starts from here on.
    m_core->stop();
    // The key dialog goes with the main window, without closing steps of its own.
    if (m_form3) {
        m_form3->hide();
    }
    Form_QueryUnload();
    emit closed();
}

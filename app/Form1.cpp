#include "app/Form1.h"

#include "ui_Form1.h"

#include "alarm/AlarmDecision.h"
#include "alarm/Form2.h"
#include "alarm/PanelTexts.h"
#include "resources/AppIcon.h"
#include "base/Convert.h"
#include "tray/Converter.h"
#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/Modal.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "base/WindowRoutines.h"
#include "base/modStartUp.h"
#include "tray/QtTrayBackend.h"
#include "base/ProcessRunner.h"
#include "tray/TrayIconDrawing.h"
#include "tray/TrayTexts.h"
#include "tray/cSysTray.h"
#include "weather/Form3.h"
#include "weather/Inet.h"
#include "weather/WeatherQuery.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImageReader>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindowStateChangeEvent>

namespace {

const QString kBalloonText = QStringLiteral("has been minimized to the system tray.\r\n"
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
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(536, 520);
    // Design look: white window and groups until a skin asks for the button face.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    applyButtonFonts(this);
    ui->Label2->setTextFormat(Qt::PlainText);
    ui->Label1->setTextFormat(Qt::PlainText);

    TrayBackend* backend = options.trayBackend;
    if (!backend) {
        m_ownBackend = new QtTrayBackend(applicationIcon(), this);
        backend = m_ownBackend;
    }
    cSysTray1 = new cSysTray(backend, this);
    cSysTray1->setTrayIcon(applicationIcon());
    Timer1 = new QTimer(this);
    Inet1 = new Inet(this);

    connect(cSysTray1, &cSysTray::MouseUp, this, &Form1::cSysTray1_MouseUp);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(ui->Check3, &QCheckBox::toggled, this, &Form1::Check3_Click);
    connect(ui->Check8, &QCheckBox::toggled, this, &Form1::Check8_Click);
    connect(ui->Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    // Only the user's clicks (and arrow keys) save: loading sets the options one
    // by one, and saving on each would overwrite the ones not yet read.
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

TempUnit Form1::unit() const
{
    if (ui->Option4->isChecked()) {
        return TempUnit::Fahrenheit;
    }
    if (ui->Option5->isChecked()) {
        return TempUnit::Celsius;
    }
    return TempUnit::None;
}

bool Form1::trayAvailable() const
{
    return m_options.trayAvailable ? m_options.trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
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
    p.run(134, [&] { ui->Check3->setChecked(GetSetting("Windows Startup", "Off") == QLatin1String("On")); });
    p.run(136, [&] { ui->Check8->setChecked(GetSetting("Minimized", "Off") == QLatin1String("On")); });
    if (p.test(138, [&] { return ui->Check8->isChecked(); })) {
        p.run(140, [&] { m_startMinimized = true; });
    }
    p.run(142, [&] { ui->Label1->setText(GetSetting("Text1", "San Diego CA")); });
    p.run(144, [&] { ui->Text2->setText(GetSetting("Text2", 70)); });
    p.run(146, [&] { setOption(ui->Option1, toDouble(GetSetting("Option1", 1)) == 1); });
    p.run(148, [&] { setOption(ui->Option2, toDouble(GetSetting("Option2", 0)) == 1); });
    p.run(150, [&] { setOption(ui->Option3, toDouble(GetSetting("Option3", 0)) == 1); });
    p.run(152, [&] { setOption(ui->Option4, toDouble(GetSetting("Option4", 1)) == 1); });
    p.run(154, [&] { setOption(ui->Option5, toDouble(GetSetting("Option5", 0)) == 1); });
    p.run(156, [&] { ui->Picture2->setBackColor(colorFromStored(toLong(GetSetting("Font Color", 65535)))); });
    p.run(158, [&] { ui->Picture3->setBackColor(colorFromStored(toLong(GetSetting("Background Color", 0)))); });
    p.run(160, [&] { ui->Picture4->setForeColor(ui->Picture2->backColor()); });
    p.run(162, [&] { ui->Picture4->setBackColor(ui->Picture3->backColor()); });
    p.run(170, [&] { DrawSample(); });
    p.run(172, [&] { Timer1->setInterval(m_options.pollIntervalMs); });
    p.run(174, [&] { Timer1->start(); });
    QByteArray converter;
    p.run(176, [&] { converter = converterBytes(); });
    p.run(178, [&] { WriteNewFile(converter, converterPath()); });
}

void Form1::showAsLoaded()
{
    if (m_startMinimized && trayAvailable()) {
        // Straight to the tray: the window is never seen at start.
        MinimizedToTray = false;
        setWindowState(Qt::WindowMinimized);
        Form_Resize();
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
    const QFontMetricsF metrics(sampleFont(), &box->image());
    const QString text = ui->Text2->text();
    const QSizeF inner = box->innerSize();
    const QPointF at(inner.width() / 2 - metrics.horizontalAdvance(text) / 2, inner.height() / 2 - metrics.height() / 2);
    box->print(at, text, sampleFont());
}

bool Form1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        QMetaObject::invokeMethod(this, &Form1::Form_Activate, Qt::QueuedConnection);
    }
    return QWidget::event(event);
}

Direction Form1::direction() const
{
    if (ui->Option1->isChecked()) {
        return Direction::Rises;
    }
    if (ui->Option2->isChecked()) {
        return Direction::Falls;
    }
    if (ui->Option3->isChecked()) {
        return Direction::Both;
    }
    return Direction::None;
}

void Form1::Form_Activate()
{
    if (m_activating || m_closed) {
        return;
    }
    m_activating = true;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("Form_Activate"));
    if (!p.test(100, [&] { return !StartingUp; })) {
        p.run(106, [&] { DrawSample(); });
        p.run(108, [&] { LastAlarmTemp = getWeather(true); });
        p.run(110, [&] { AlarmShown = false; });
        p.run(112, [&] { ListTemp(true); });
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
    if (!trayAvailable()) {
        return; // an ordinary minimise: there is no tray to come back from
    }
    // Hidden while still minimised: leaving that state here would map the
    // window again on X11. The restore from the tray clears it.
    hide();
    MinimizedToTray = true;
    try {
        cSysTray1->ShowBalloon(kBalloonText, applicationTitle(), 5, true);
    } catch (const Failure&) {
        // The fixed five seconds cannot overflow.
    }
}

void Form1::cSysTray1_MouseUp(qint16, qint32)
{
    if (m_closed) {
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    MinimizedToTray = false;
    // An open alert stays in front of the window it belongs to.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void Form1::Check3_Click()
{
    if (StartingUp) {
        return; // loading sets the box from the store; nothing to write
    }
    if (ui->Check3->isChecked()) {
        ui->Check8->setVisible(true);
        unreported(QStringLiteral("Check3_Click"), [&] { SaveSetting("Windows Startup", "On"); });
        if (!AddToStartup()) {
            showMessage(QStringLiteral("Tepora could not be set to start when you log in: the entry in \"%1\" "
                                       "could not be written.")
                            .arg(QDir::toNativeSeparators(RunEntryPlace::defaultAutostartFolder())));
            ui->Check3->setChecked(false); // runs the unticked branch below
        }
        return;
    }
    ui->Check8->setChecked(false);
    ui->Check8->setVisible(false);
    unreported(QStringLiteral("Check3_Click"), [&] { SaveSetting("Windows Startup", "Off"); });
    if (!RemoveFromStartup()) {
        showMessage(QStringLiteral("Tepora could not remove its entry from \"%1\", so it may still start when you "
                                   "log in. Please delete the file tepora.desktop there.")
                        .arg(QDir::toNativeSeparators(RunEntryPlace::defaultAutostartFolder())));
    }
}

void Form1::Check8_Click()
{
    unreported(QStringLiteral("Check8_Click"),
               [&] { SaveSetting("Minimized", ui->Check8->isChecked() ? "On" : "Off"); });
}

void Form1::Text2_Change()
{
    unreported(QStringLiteral("Text2_Change"), [&] { SaveSetting("Text2", ui->Text2->text()); });
    AlarmShown = false;
}

void Form1::DirectionOption_Click()
{
    unreported(QStringLiteral("Option_Click"), [&] {
        SaveSetting("Option1", ui->Option1->isChecked() ? "1" : "0");
        SaveSetting("Option2", ui->Option2->isChecked() ? "1" : "0");
        SaveSetting("Option3", ui->Option3->isChecked() ? "1" : "0");
    });
    AlarmShown = false;
}

void Form1::UnitOption_Click()
{
    unreported(QStringLiteral("Option_Click"), [&] {
        SaveSetting("Option4", ui->Option4->isChecked() ? "1" : "0");
        SaveSetting("Option5", ui->Option5->isChecked() ? "1" : "0");
    });
    AlarmShown = false;
}

double Form1::getWeather(bool InTimer)
{
    const WeatherInputs inputs{ui->Label1->text(), unit(), ui->PushButton5->text()};
    return readWeather(*Inet1, inputs, InTimer, CityName);
}

QString Form1::location() const
{
    return ui->Label1->text();
}

QString Form1::iconFilesFolder() const
{
    if (m_iconFolder.isEmpty()) {
        m_iconFolder = iconFolder(m_programFolder);
    }
    return m_iconFolder;
}

void Form1::ListTemp(bool InTimer)
{
    ++m_refreshDepth;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("ListTemp"));
    TemperatureTexts texts;
    bool iconShown = false;
    const QString bmp = iconFilesFolder() + QStringLiteral("/CurTemp.bmp");
    const QString ico = iconFilesFolder() + QStringLiteral("/CurTemp.ico");

    p.run(100, [&] { TargTemp = roundHalfEven(toDouble(ui->Text2->text())); });
    p.run(102, [&] { CurTemp = getWeather(InTimer); });
    if (!m_closed) {
        p.run(106, [&] { texts = temperatureTexts(CurTemp, unit(), CityName); });
        p.run(108, [&] { ui->Label2->setText(texts.statusLine); });
        p.run(110, [&] { cSysTray1->setTrayTip(texts.tooltip); });
        p.run(112, [&] {
            const QImage image = ::drawTrayIcon(texts.iconText, ui->Picture4->foreColor(), ui->Picture4->backColor());
            ui->Picture1->setImage(image);
        });
        p.run(114, [&] {
            if (!ui->Picture1->image().save(bmp, "BMP")) {
                throw Failure::pathFileAccess();
            }
        });
        p.run(116, [&] {
            // An icon left from an earlier refresh must never pass for this one.
            QFile::remove(ico);
            const QString command = QLatin1Char('"') + converterPath() + QStringLiteral("\" -out ico \"") + bmp +
                                    QLatin1Char('"');
            RunAndWait(command, 0, m_options.converterTimeoutMs);
        });
        p.run(118, [&] {
            if (!PathExists(ico)) {
                throw Failure::fileNotFound();
            }
            if (QImageReader(ico).format().isEmpty()) {
                throw Failure(QStringLiteral("Invalid picture"));
            }
            cSysTray1->setTrayIconFromFile(ico);
            iconShown = true;
        });
        if (!iconShown) {
            // Without the converter's icon the tray still gets this reading.
            cSysTray1->setTrayIcon(QIcon(QPixmap::fromImage(ui->Picture1->image())));
        }
    }
    if (!m_closed) {
        p.run(120, [&] { alarmStep(); });
    }
    --m_refreshDepth;
    emit refreshed();
}

bool Form1::HasReachedTemp()
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("HasReachedTemp"));
    bool result = false;
    bool reached = false;
    double cur = 0;
    p.run(100, [&] { cur = getWeather(true); });
    if (p.test(102, [&] { return cur <= InvalidKeyTemp; })) {
        return false;
    }
    if (!p.test(104, [&] { return cur == LastAlarmTemp; })) {
        // A target that is no number never counts as reached; the failed
        // conversion is still reported.
        p.run(106, [&] {
            const double target = toDouble(ui->Text2->text());
            reached = targetReached(cur, target, direction(), LastAlarmTemp);
        });
    }
    if (reached) {
        p.run(108, [&] {
            LastAlarmTemp = roundHalfEven(cur);
            result = true;
        });
    }
    return result;
}

void Form1::alarmStep()
{
    if (!HasReachedTemp() || AlarmShown) {
        return;
    }
    Timer1->setInterval(0);
    Timer1->stop();
    Form2::showAlert(this);
    if (m_closed) {
        return;
    }
    AlarmShown = true;
    Timer1->setInterval(m_options.pollIntervalMs);
    Timer1->start();
}

void Form1::Timer1_Timer()
{
    // A tick while an earlier refresh still waits (for the service, the
    // converter or an open alert) is skipped, so refreshes never nest.
    if (m_refreshDepth > 0 || m_closed) {
        return;
    }
    Procedure p(QStringLiteral("Form1"), QStringLiteral("Timer1_Timer"));
    p.run(100, [&] { QCoreApplication::processEvents(); });
    p.run(102, [&] { ListTemp(true); });
    p.run(104, [&] { QCoreApplication::processEvents(); });
}

void Form1::PushButton1_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton1_Click"));
    p.run(100, [&] { showMessage(directionHelpText(ui->Option1->text(), ui->Option2->text())); });
}

void Form1::PushButton2_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    // Counts as a refresh, so a tick cannot stack a second alert on this one.
    ++m_refreshDepth;
    p.run(100, [&] { TargTemp = roundHalfEven(toDouble(ui->Text2->text())); });
    p.run(102, [&] { CurTemp = getWeather(false); });
    if (!m_closed && p.test(104, [&] { return CurTemp > InvalidKeyTemp; })) {
        p.run(106, [&] { Form2::showAlert(this); });
    }
    --m_refreshDepth;
}

void Form1::PushButton3_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton3_Click"));
    p.run(100, [&] { showMessage(testAlarmHelpText()); });
}

void Form1::PushButton4_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton4_Click"));
    std::optional<QString> answer;
    p.run(100, [&] { answer = Modal::instance().inputBox(applicationTitle(), locationPrompt(), ui->Label1->text()); });
    if (!answer || answer->isEmpty() || m_closed) {
        return;
    }
    p.run(102, [&] { ui->Label1->setText(*answer); });
    p.run(104, [&] { SaveSetting("Text1", ui->Label1->text()); });
    p.run(106, [&] { AlarmShown = false; });
    p.run(108, [&] { ListTemp(false); });
}

Form3* Form1::keyDialog() const
{
    return m_form3;
}

void Form1::PushButton5_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), QStringLiteral("PushButton5_Click"));
    p.run(100, [&] {
        if (!m_form3) {
            m_form3 = new Form3(this);
        }
        m_form3->show();
        m_form3->raise();
        m_form3->activateWindow();
    });
    // The dialog brings the main window back when the user leaves it.
    p.run(102, [&] { hide(); });
}

void Form1::changeColor(PictureBox* swatch, const char* key, bool background, const QString& operation)
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form1"), operation);
    QColor color;
    p.run(100, [&] { color = swatch->backColor(); });
    p.run(102, [&] {
        // A cancel keeps the colour the dialog was opened with.
        if (const std::optional<QColor> chosen = Modal::instance().colorDialog(color)) {
            color = *chosen;
        }
    });
    if (m_closed) {
        return;
    }
    p.run(104, [&] { swatch->setBackColor(color); });
    p.run(106, [&] { SaveSetting(key, QString::number(storedFromColor(swatch->backColor()))); });
    p.run(108, [&] {
        if (background) {
            ui->Picture4->setBackColor(swatch->backColor());
        } else {
            ui->Picture4->setForeColor(swatch->backColor());
        }
    });
    p.run(112, [&] { DrawSample(); });
    p.run(114, [&] { ListTemp(false); });
}

void Form1::PushButton7_Click()
{
    changeColor(ui->Picture2, "Font Color", false, QStringLiteral("PushButton7_Click"));
}

void Form1::PushButton8_Click()
{
    changeColor(ui->Picture3, "Background Color", true, QStringLiteral("PushButton8_Click"));
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    closeProgram();
}

void Form1::Form_QueryUnload()
{
    Procedure p(QStringLiteral("Form1"), QStringLiteral("Form_QueryUnload"));
    p.run(100, [&] { RemoveFile(converterPath()); });
    p.run(102, [&] { Timer1->stop(); });
    p.run(104, [&] { cSysTray1->setInTray(false); });
    p.run(106, [&] { QCoreApplication::processEvents(); });
    p.run(108, [&] { QCoreApplication::processEvents(); });
}

void Form1::closeProgram()
{
    if (m_closed) {
        return;
    }
    m_closed = true;
    Form_QueryUnload();
    emit closed();
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/Form3.h"

#include "ui_Form3.h"

#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/Modal.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "base/TitleBar.h"
#include "base/WindowRoutines.h"
#include "resources/AppIcon.h"
#include "weather/Inet.h"
#include "weather/KeyTest.h"
#include "weather/WeatherText.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QUrl>

Form3::Form3(Inet& transfer, std::function<QString()> location, const QString& programFolder)
    : QWidget(nullptr), ui(new Ui::Form3), m_transfer(transfer), m_location(std::move(location)),
      m_programFolder(programFolder)
{
    ui->setupUi(this);
    // Not a child of the main window: that one is hidden while the dialog is
    // open, and a window owned by a hidden one may lose its task bar entry.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(536, 306);
    watchMinimize(this);
    applyButtonFonts(this);

    connect(ui->Text1, &QLineEdit::textChanged, this, &Form3::Text1_Change);
    connect(ui->PushButton1, &QPushButton::clicked, this, &Form3::PushButton1_Click);
    connect(ui->PushButton2, &QPushButton::clicked, this, &Form3::PushButton2_Click);
    connect(ui->PushButton3, &QPushButton::clicked, this, &Form3::PushButton3_Click);
    connect(ui->PushButton6, &QPushButton::clicked, this, &Form3::PushButton6_Click);
    selectAllOnFocus(ui->Text1);

    Form_Load();
    // Qt's own title bar would add minimise and maximise buttons.
    if (titleBarsLeftToProgram()) {
        useOwnTitleBar(this);
    }
    ui->Text1->setFocus();
}

Form3::~Form3() = default;

void Form3::Form_Load()
{
    Procedure p(QStringLiteral("Form3"), QStringLiteral("Form_Load"));
    p.run(100, [&] { ApplyButtonFace(this); });
    p.run(102, [&] { setWindowIcon(applicationIcon()); });
    p.run(104, [&] { setWindowTitle(QStringLiteral("Key Options")); });
    const QString handFile = dataFilePath(m_programFolder, QStringLiteral("HAND-M.CUR"));
    if (p.test(106, [&] { return PathExists(handFile); })) {
        p.run(108, [&] { applyHandPointer(this, handFile); });
    }
    p.run(112, [&] {
        const QString key = Settings::instance().get(Setting::APIKey);
        const bool unchanged = ui->Text1->text() == key;
        ui->Text1->setText(key);
        // The key is stored from the first opening on, even when it is empty.
        if (unchanged) {
            Text1_Change();
        }
    });
}

void Form3::Text1_Change()
{
    Procedure p(QStringLiteral("Form3"), QStringLiteral("Text1_Change"));
    p.run(100, [&] { Settings::instance().set(Setting::APIKey, ui->Text1->text()); });
}

void Form3::showEvent(QShowEvent* event)
{
    // Opens centred; shown again after OK, it stays where the user left it.
    if (!m_centred) {
        m_centred = true;
        centreOnScreen(this);
    }
    QWidget::showEvent(event);
}

void Form3::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter presses the focused button, as on any dialog; elsewhere it is OK.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            ui->PushButton6->click();
        }
        return;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void Form3::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit leaving();
    emit unloaded();
}

QCoro::Task<> Form3::openPage(QString operation, QString address)
{
    Procedure p(QStringLiteral("Form3"), operation);
    QUrl url;
    p.run(100, [&] { url = QUrl(address); });
    // A browser that cannot be started is no failure of the program, but the
    // user still needs the page: the address is shown to be copied.
    co_await p.step(102, [&]() -> QCoro::Task<> {
        if (!Modal::instance().openUrl(url)) {
            co_await showMessage(
                QStringLiteral(
                    "Tepora could not start a web browser. Please open this address yourself:\r\n\r\n") +
                url.toString());
        }
    });
}

void Form3::PushButton1_Click()
{
    openPage(QStringLiteral("PushButton1_Click"), signInPage());
}

void Form3::PushButton2_Click()
{
    openPage(QStringLiteral("PushButton2_Click"), apiKeyArticle());
}

QCoro::Task<> Form3::PushButton3_Click()
{
    UserRequestScope asked;
    Procedure p(QStringLiteral("Form3"), QStringLiteral("PushButton3_Click"));
    const QPointer<Form3> self(this);
    const QString key = Settings::instance().get(Setting::APIKey);
    QString answer;
    KeyTestRequest request = KeyTestRequest::Busy;
    // Without a key there is nothing to test; the service would only say it is missing.
    if (!key.isEmpty()) {
        Inet* inet = &m_transfer;
        if (p.test(100, [&] { return !inet->StillExecuting(); })) {
            request = KeyTestRequest::Failed;
            const QString url = weatherUrl(serviceBaseUrl(), m_location(), key);
            co_await p.step(102, [&]() -> QCoro::Task<> {
                try {
                    answer = co_await inet->OpenURL(url);
                    request = KeyTestRequest::Answered;
                } catch (const Failure&) {
                    // The transfer failed: the verdict says so, one box is enough.
                }
            });
        }
        if (p.test(104, [&] { return self && inet->StillExecuting(); })) {
            co_await p.step(106, [&] { return inet->waitUntilIdle(); });
        }
    }
    if (!self) {
        co_return; // closed while the request ran
    }
    QString verdict;
    p.run(108, [&] { verdict = keyTestVerdict(key, request, answer); });
    const bool rejected = request == KeyTestRequest::Answered && hasInvalidKeyMarker(answer);
    co_await p.step(rejected ? 110 : 112, [&] { return showMessage(verdict); });
}

void Form3::PushButton6_Click()
{
    Procedure p(QStringLiteral("Form3"), QStringLiteral("PushButton6_Click"));
    const QPointer<Form3> self(this);
    p.run(100, [&] { emit keyAccepted(); });
    if (!self || isHidden()) {
        return; // closed by whoever took the key
    }
    p.run(102, [&] { emit leaving(); });
    p.run(104, [&] { hide(); });
}

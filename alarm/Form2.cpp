// SPDX-License-Identifier: GPL-3.0-or-later

#include "alarm/Form2.h"

#include "alarm/AlarmSound.h"
#include "base/Convert.h"
#include "base/ErrorReport.h"
#include "base/Paths.h"
#include "base/TitleBar.h"
#include "base/WindowRoutines.h"
#include "resources/AppIcon.h"
#include "weather/WeatherText.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QTreeWidget>

namespace
{
std::function<void(Form2*)> g_openedHook;

int twips(int t)
{
    return t / 15;
}
} // namespace

Form2::Form2(QWidget* owner, const AlertFigures& figures, const QString& programFolder)
    : QDialog(owner), m_figures(figures), m_programFolder(programFolder)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("Temperature Alert!"));
    setFixedSize(536, 200);
    setModal(true);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    font.setBold(true);
    setFont(font);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("Alert figures"));
    ListView1->setGeometry(twips(120), twips(120), twips(7800), twips(2760));
    ListView1->setRootIsDecorated(false);
    ListView1->setColumnCount(0);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MMControl1 = AlarmSound::create(this);
    MMControl1->setObjectName(QStringLiteral("MMControl1"));
    SoundProblem = new QLabel(this);
    SoundProblem->setObjectName(QStringLiteral("SoundProblem"));
    SoundProblem->setTextFormat(Qt::PlainText);
    SoundProblem->setGeometry(twips(120), 200 - 26, twips(7800), 22);
    SoundProblem->hide();
    connect(MMControl1, &AlarmSound::stateChanged, this, [this](AlarmSound::State state) {
        if (state == AlarmSound::State::Failed) {
            showSoundProblem(
                QStringLiteral("The alarm sound could not be played: %1").arg(MMControl1->errorText()));
        }
    });

    Form_Load();
    // Qt's own title bar would add minimise and maximise buttons.
    if (titleBarsLeftToProgram()) {
        useOwnTitleBar(this);
    }
}

Form2::~Form2() = default;

void Form2::setOpenedHook(std::function<void(Form2*)> hook)
{
    g_openedHook = std::move(hook);
}

void Form2::Form_Load()
{
    Procedure p(QStringLiteral("Form2"), QStringLiteral("Form_Load"));
    QString suffix;
    QTreeWidgetItem* row = nullptr;
    const QString folder = m_programFolder;
    // Nothing in this window shows the hand pointer, so its file is not read.

    p.run(100, [&] { ApplyButtonFace(this); });
    p.run(102, [&] { setWindowIcon(applicationIcon()); });
    QStringList headers;
    p.run(106, [&] { headers << QStringLiteral("Location"); });
    p.run(108, [&] { headers << QStringLiteral("Target temperature"); });
    p.run(110, [&] {
        headers << QStringLiteral("Current temperature");
        ListView1->setHeaderLabels(headers);
        ListView1->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    });
    p.run(112, [&] { ListView1->setColumnWidth(0, twips(3000)); });
    p.run(114, [&] { ListView1->setColumnWidth(1, twips(2000)); });
    p.run(116, [&] { ListView1->setColumnWidth(2, twips(2000)); });
    const TempUnit unit = m_figures.unit;
    if (p.test(118, [&] { return unit == TempUnit::Fahrenheit; })) {
        p.run(120, [&] { suffix = unitSuffix(TempUnit::Fahrenheit); });
    } else if (p.test(122, [&] { return unit == TempUnit::Celsius; })) {
        p.run(124, [&] { suffix = unitSuffix(TempUnit::Celsius); });
    }
    p.run(126, [&] { row = new QTreeWidgetItem(ListView1, QStringList{m_figures.location}); });
    auto needRow = [&] {
        if (!row) {
            throw Failure(QStringLiteral("Object variable not set"));
        }
    };
    p.run(128, [&] {
        needRow();
        row->setText(1, generalNumber(m_figures.target) + suffix);
    });
    p.run(130, [&] {
        needRow();
        row->setText(2, generalNumber(m_figures.current) + suffix);
    });
    const QString sound = dataFilePath(folder, QStringLiteral("reveille.mp3"));
    if (p.test(132, [&] { return PathExists(sound); })) {
        p.run(134, [&] {
            MMControl1->FileName = sound;
            MMControl1->ProgramFolder = folder;
        });
        p.run(136, [&] { MMControl1->setCommand(QStringLiteral("Open")); });
        p.run(138, [&] { MMControl1->setCommand(QStringLiteral("Play")); });
    } else {
        // No box for it, but a silent alarm should not leave the user guessing.
        showSoundProblem(QStringLiteral("The alarm sound file is missing: %1")
                             .arg(QDir::toNativeSeparators(QFileInfo(sound).absoluteFilePath())));
    }
}

void Form2::showSoundProblem(const QString& text)
{
    if (SoundProblem->isHidden()) {
        ListView1->resize(ListView1->width(), SoundProblem->y() - ListView1->y() - 4);
        SoundProblem->show();
    }
    SoundProblem->setText(text);
}

AlertWindows::AlertWindows(QWidget* owner, QString programFolder)
    : m_owner(owner), m_programFolder(std::move(programFolder))
{
}

QCoro::Task<> AlertWindows::showAlert(AlertFigures figures)
{
    // Over the main window while the user has it in front of them; on its
    // own otherwise, or it would go unseen with a minimised or hidden owner.
    QPointer<Form2> alert = new Form2(boxParent(m_owner), figures, m_programFolder);
    m_open = alert;
    // Centred on the screen, also while the main window is hidden in the tray.
    centreOnScreen(alert);
    if (g_openedHook) {
        QMetaObject::invokeMethod(
            alert,
            [alert] {
                if (alert && g_openedHook) {
                    g_openedHook(alert);
                }
            },
            Qt::QueuedConnection);
    }
    co_await shownUntilClosed(alert);
    // Resumed from the window's own signal: it goes once that has returned.
    if (alert) {
        alert->deleteLater();
    }
}

void AlertWindows::closeAlert()
{
    if (m_open) {
        m_open->close();
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "RecordingTrayBackend.h"
#include "ScriptedModal.h"
#include "TestEnv.h"
#include "WeatherSim.h"

#include "alarm/Form2.h"
#include "alarm/TemperatureMonitor.h"
#include "app/Form1.h"
#include "base/Settings.h"
#include "base/SettingsText.h"
#include "base/TitleBar.h"
#include "weather/Form3.h"
#include "weather/KeyTest.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionGroupBox>
#include <QTcpServer>
#include <QTest>

#include <QCoroTask>

#include <memory>

namespace
{

const QString kCorrect = QStringLiteral("Your API Key is correct and ready to work.");
const QString kNotCorrect = QStringLiteral("Your API Key is not correct.");
const QString kSignIn = QStringLiteral("https://home.openweathermap.org/users/sign_in/");

template <class T> T* part(QWidget* dialog, const char* name)
{
    T* widget = dialog->findChild<T*>(QLatin1String(name));
    Q_ASSERT(widget);
    return widget;
}

// Settings, dialogs and the service of one test; the main window and one
// dialog on its web request.
struct Fixture {
    TestEnv env;
    ScriptedModal modal;
    WeatherSim sim;
    RecordingTrayBackend tray;
    std::unique_ptr<Form1> main;
    std::unique_ptr<Form3> owned;
    Form3* dialog = nullptr;

    explicit Fixture(const QString& location = QStringLiteral("San Diego CA"))
    {
        sim.listen();
        sim.setPlace(QStringLiteral("San Diego CA"), QStringLiteral("San Diego"), 300);
        sim.setAcceptedKeys({QStringLiteral("good")});
        qputenv("TEPORA_SERVICE_URL", sim.baseUrl().toUtf8());
        SaveSetting(QStringLiteral("Text1"), location);
        Form1Options o;
        o.trayBackend = &tray;
        o.pollIntervalMs = 3600000;
        main = std::make_unique<Form1>(o);
        main->Form_Load();
    }
    Form3* load()
    {
        Form1* m = main.get();
        owned = std::make_unique<Form3>(
            *m->transfer(), [m] { return m->monitor()->location(); }, QString());
        dialog = owned.get();
        return dialog;
    }
    Form3* open(const QString& key)
    {
        load();
        text()->setText(key);
        sim.clearRequests();
        return dialog;
    }
    QLineEdit* text() const { return part<QLineEdit>(dialog, "Text1"); }
    void click(const char* button) const { part<QPushButton>(dialog, button)->click(); }
};

QString apiKey()
{
    return GetSetting(QStringLiteral("APIKey"), QStringLiteral("<absent>"));
}

} // namespace

class TestForm3 : public QObject
{
    Q_OBJECT

private slots:
    void keyIsSavedAtEveryChange()
    {
        Fixture fx;
        fx.load();
        // The first opening stores the (empty) key.
        QCOMPARE(fx.text()->text(), QString());
        QCOMPARE(apiKey(), QString());
        for (const QChar c : QStringLiteral("k 1")) {
            QTest::keyClicks(fx.text(), QString(c));
            QCOMPARE(apiKey(), fx.text()->text());
        }
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(fx.text(), Qt::Key_Backspace);
            QCOMPARE(apiKey(), fx.text()->text());
        }
        QCOMPARE(apiKey(), QString());
        QVERIFY(fx.modal.shown.isEmpty());
    }

    // Every text of the dialog fits inside its own box, and every box stays
    // inside the part of its frame that the style leaves for contents, with
    // the same room on both sides, in each style Qt brings.
    void textsFitTheirFrames_data()
    {
        QTest::addColumn<QString>("style");
        for (const QString& style : QStyleFactory::keys()) {
            QTest::newRow(qPrintable(style)) << style;
        }
    }
    void textsFitTheirFrames()
    {
        QFETCH(QString, style);
        Fixture fx;
        fx.load();
        std::unique_ptr<QStyle> theStyle(QStyleFactory::create(style));
        for (QWidget* widget : fx.dialog->findChildren<QWidget*>()) {
            widget->setStyle(theStyle.get());
        }
        fx.dialog->show();
        for (QWidget* widget : fx.dialog->findChildren<QWidget*>()) {
            const QString name = widget->objectName();
            if (const auto* frame = qobject_cast<QGroupBox*>(widget->parentWidget())) {
                QStyleOptionGroupBox option;
                option.initFrom(frame);
                option.text = frame->title();
                option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
                option.lineWidth = 1;
                const QRect inside = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                                    QStyle::SC_GroupBoxContents, frame);
                const QRect box = widget->geometry();
                QVERIFY2(inside.contains(box), qPrintable(name + " runs over its frame"));
                // As far from the right border as from the left: text that
                // wraps at the right edge of its box keeps clear of the border.
                QVERIFY2(qAbs((box.left() - inside.left()) - (inside.right() - box.right())) <= 1,
                         qPrintable(name + " is nearer one border than the other"));
            }
            if (const auto* label = qobject_cast<QLabel*>(widget)) {
                const QSize needed = label->wordWrap()
                                         ? QSize(label->width(), label->heightForWidth(label->width()))
                                         : label->sizeHint();
                QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                         qPrintable(name + " is too small for its text"));
            }
        }
        fx.dialog->hide();
    }

    void opensWithStoredKeySelected()
    {
        Fixture fx;
        SaveSetting(QStringLiteral("APIKey"), QStringLiteral("abc123"));
        fx.load();
        fx.dialog->show();
        fx.dialog->activateWindow();
        QTRY_VERIFY(fx.text()->hasFocus());
        QTRY_COMPARE(fx.text()->selectedText(), QStringLiteral("abc123"));
    }

    // OK keeps the dialog with its text; the close box unloads it, so the next
    // opening reads the setting again. Opened as the main window does it.
    void noMinimiseOrMaximiseButton_data()
    {
        QTest::addColumn<bool>("alert");
        QTest::newRow("key dialog") << false;
        QTest::newRow("alert") << true;
    }

    // Neither asks the window system for those buttons; where Qt would draw
    // its own title bar (with both, whatever is asked) the window has one of
    // its own, with the title and the close box only, above all it held.
    void noMinimiseOrMaximiseButton()
    {
        QFETCH(bool, alert);
        Fixture fx;
        std::unique_ptr<QWidget> window;
        if (alert) {
            window = std::make_unique<Form2>(
                nullptr, AlertFigures{QStringLiteral("San Diego"), 70, 72, TempUnit::Fahrenheit}, QString());
        } else {
            window.reset(fx.load());
            fx.owned.release();
        }
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(flags & Qt::WindowCloseButtonHint);

        const QSize designed = window->size();
        const auto contents = window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        useOwnTitleBar(window.get());
        auto* bar = window->findChild<QWidget*>(QStringLiteral("TitleBar"));
        QVERIFY(bar);
        QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(window->isModal(), alert);
        QCOMPARE(window->size(), designed + QSize(0, bar->height()));
        for (const QWidget* child : contents) {
            QVERIFY2(child->y() >= bar->height(), qPrintable(child->objectName()));
        }
        QCOMPARE(bar->findChildren<QPushButton*>().size(), 1);
        QCOMPARE(bar->findChild<QLabel*>()->text(), window->windowTitle());

        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        bar->findChild<QPushButton*>()->click();
        QTRY_VERIFY(!window->isVisible());
    }

    void okKeepsDialogCloseUnloadsIt()
    {
        Fixture fx;
        Form1& main = *fx.main;
        QPointer<Form3> dialog;
        auto open = [&] {
            part<QPushButton>(&main, "PushButton5")->click();
            dialog = main.keyDialog();
            QVERIFY(dialog && dialog->isVisible());
            QVERIFY(!main.isVisible());
        };

        open();
        Form3* first = dialog;
        part<QLineEdit>(dialog, "Text1")->setText(QStringLiteral("typed"));
        QSignalSpy refreshed(&main, &Form1::refreshed);
        QTest::keyClick(part<QLineEdit>(dialog, "Text1"), Qt::Key_Return); // Enter is OK
        QTRY_VERIFY(refreshed.count() >= 1);
        QVERIFY(main.isVisible());
        QVERIFY(dialog && !dialog->isVisible());

        SaveSetting(QStringLiteral("APIKey"), QStringLiteral("stored"));
        open();
        QCOMPARE(dialog.data(), first);
        QCOMPARE(part<QLineEdit>(dialog, "Text1")->text(), QStringLiteral("typed"));

        QTest::keyClick(dialog, Qt::Key_Escape); // as the close box
        QVERIFY(main.isVisible());
        QTRY_VERIFY(dialog.isNull());
        open();
        QCOMPARE(part<QLineEdit>(dialog, "Text1")->text(), QStringLiteral("stored"));
    }

    void pageButtonsOpenTheirPages()
    {
        Fixture fx;
        fx.open(QString());
        fx.click("PushButton1");
        fx.click("PushButton2");
        const QList<QUrl> expected{
            QUrl(kSignIn),
            QUrl(QStringLiteral("https://en.wikipedia.org/wiki/Application_programming_interface_key"))};
        QCOMPARE(fx.modal.openedUrls, expected);
        QVERIFY(part<QLabel>(fx.dialog, "Label2")->text().contains(kSignIn + QStringLiteral("  to get")));
        QCOMPARE(part<QPushButton>(fx.dialog, "PushButton1")->text(), QStringLiteral("Open ") + kSignIn);
        QCOMPARE(fx.modal.shown.size(), 0);

        // Without a browser the address is shown, to be copied.
        fx.modal.browserWorks = false;
        fx.click("PushButton1");
        QCOMPARE(fx.modal.messages().size(), 1);
        QVERIFY(fx.modal.messages().first().text.endsWith(kSignIn));
        QCOMPARE(fx.modal.errorReports().size(), 0);
    }

    void keyTestAgainstService_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("query"); // empty: nothing is sent
        QTest::addColumn<QString>("verdict");
        auto row = [](const char* name, QString location, QString key, QString query, QString verdict) {
            QTest::newRow(name) << location << key << query << verdict;
        };
        row("accepted", "San Diego CA", "good", "?q=San%20Diego%20CA&APPID=good", kCorrect);
        row("rejected", "San Diego CA", "bad", "?q=San%20Diego%20CA&APPID=bad", kNotCorrect);
        row("unknown location", "Atlantis", "good", "?q=Atlantis&APPID=good", kCorrect);
        row("no key", "San Diego CA", "", "", "Please enter your API key in the box first.");
    }
    void keyTestAgainstService()
    {
        QFETCH(QString, location);
        QFETCH(QString, key);
        QFETCH(QString, query);
        QFETCH(QString, verdict);
        Fixture fx(location);
        fx.open(key);
        fx.click("PushButton3");
        QTRY_COMPARE(fx.modal.shown.size(), 1);
        QCOMPARE(fx.sim.requests(),
                 query.isEmpty() ? QStringList() : QStringList{"/data/2.5/weather" + query});
        QCOMPARE(fx.modal.shown.size(), 1);
        QCOMPARE(fx.modal.shown.first().title, QStringLiteral("Tepora"));
        QCOMPARE(fx.modal.shown.first().text, verdict);
    }

    // No answer says nothing about the key: not while a poll holds the
    // request (nothing is sent), not when the service cannot be reached.
    void keyTestWithoutAnswerSaysSo()
    {
        Fixture fx;
        fx.open(QStringLiteral("good"));
        // The poll's answer comes late, so the click lands while it waits.
        fx.sim.setSlowDelay(300);
        fx.sim.setFault(WeatherSim::Fault::Slow);
        connect(
            &fx.sim, &WeatherSim::requestReceived, fx.dialog, [&] { fx.click("PushButton3"); },
            Qt::ConnectionType(Qt::SingleShotConnection | Qt::QueuedConnection));
        QCoro::waitFor(fx.main->monitor()->getWeather(true));
        fx.sim.setFault(WeatherSim::Fault::None);
        QCOMPARE(fx.sim.requestCount(), 1);
        QCOMPARE(fx.modal.shown.size(), 1);
        QVERIFY(fx.modal.shown.first().text.contains("busy fetching the temperature"));

        fx.modal.clear();
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        qputenv("TEPORA_SERVICE_URL",
                QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()).toUtf8());
        closed.close();
        fx.click("PushButton3");
        QTRY_COMPARE(fx.modal.shown.size(), 1);
        // One click, one box: the verdict explains the failed transfer.
        QCOMPARE(fx.modal.errorReports().size(), 0);
        QCOMPARE(fx.modal.messages().size(), 1);
        QVERIFY(fx.modal.messages().first().text.contains("could not be tested"));
    }

    // Rejections in any letter case; only a real answer of the service
    // vouches for the key.
    void verdictOnAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("verdict");
        const QString rejected =
            QStringLiteral("{\"cod\":401, \"message\": \"Invalid API key. Please see ...\"}");
        QTest::newRow("upper") << rejected.toUpper() << kNotCorrect;
        QTest::newRow("lower") << rejected.toLower() << kNotCorrect;
        QTest::newRow("reading") << QStringLiteral("{\"main\":{\"temp\":290.1},\"name\":\"X\"}")
                                 << QStringLiteral("Your API Key is correct and ready to work.");
        QTest::newRow("server error")
            << QStringLiteral("{\"cod\":500,\"message\":\"Internal error\"}")
            << QStringLiteral("Your API Key could not be tested because the weather service "
                              "sent an answer Tepora does not understand; please try again "
                              "later.");
    }
    void verdictOnAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(QString, verdict);
        QCOMPARE(keyTestVerdict(QStringLiteral("k"), KeyTestRequest::Answered, answer), verdict);
    }
};

QTEST_MAIN(TestForm3)
#include "test_form3.moc"

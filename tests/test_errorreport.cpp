// SPDX-License-Identifier: GPL-3.0-or-later

#include "ScriptedModal.h"

#include "base/ErrorReport.h"

#include <QTest>

class TestErrorReport : public QObject
{
    Q_OBJECT

private slots:
    void textHasEveryPartInOrder()
    {
        const QString text = errorReportText("Type mismatch", "Form1", "Form_Load", 146);
        QCOMPARE(text, QStringLiteral("Type mismatch\r\nin Tepora2021/08/31.Form1.Form_Load at line 146\r\r"
                                      "Please email screenshot of this message to ") +
                           supportAddress());
        QVERIFY(supportAddress().contains('@'));
    }

    void failureIsReportedWithItsStepAndTheOperationGoesOn()
    {
        ScriptedModal modal;
        QList<int> ran;
        Procedure p("Form2", "Form_Load");
        p.run(100, [&] { ran << 100; });
        p.run(102, [&] { throw Failure::typeMismatch(); });
        p.run(102, [&] { ran << 102; }); // same step, next action still runs
        p.run(104, [&] { ran << 104; });
        QCOMPARE(ran, (QList<int>{100, 102, 104}));
        QCOMPARE(modal.shown.size(), 1);
        QCOMPARE(modal.shown[0].title, QStringLiteral("Application Error"));
        QCOMPARE(modal.shown[0].icon, Modal::Icon::Warning);
        QVERIFY(modal.shown[0].text.startsWith(
            "Type mismatch\r\nin Tepora2021/08/31.Form2.Form_Load at line 102\r\r"));
    }

    void firstStepFailureNamesStep100()
    {
        ScriptedModal modal;
        Procedure p("Form1", "ListTemp");
        p.run(100, [] { throw Failure::fileNotFound(); });
        QCOMPARE(modal.shown.size(), 1);
        QVERIFY(modal.shown[0].text.contains("Form1.ListTemp at line 100\r\r"));
        QVERIFY(modal.shown[0].text.startsWith("File not found\r\n"));
    }

    void twoFailuresGiveTwoReportsInStepOrder()
    {
        ScriptedModal modal;
        Procedure p("Form1", "Form_Load");
        p.run(146, [] { throw Failure::typeMismatch(); });
        p.run(148, [] {});
        p.run(156, [] { throw Failure::overflow(); });
        QCOMPARE(modal.shown.size(), 2);
        QVERIFY(modal.shown[0].text.contains("at line 146\r\r"));
        QVERIFY(modal.shown[1].text.startsWith("Overflow\r\n"));
        QVERIFY(modal.shown[1].text.contains("at line 156\r\r"));
    }

    void failingTestLetsTheGuardedActionRun()
    {
        ScriptedModal modal;
        Procedure p("Form1", "Form_Load");
        bool guardedRan = false;
        if (p.test(106, []() -> bool { throw Failure::pathFileAccess(); })) {
            p.run(108, [&] {
                guardedRan = true;
                throw Failure::fileNotFound();
            });
        }
        QVERIFY(guardedRan);
        QCOMPARE(modal.shown.size(), 2);
        QVERIFY(modal.shown[0].text.contains("at line 106"));
        QVERIFY(modal.shown[1].text.contains("at line 108"));
        QVERIFY(!p.test(110, [] { return false; })); // an ordinary false stays false
    }

    void failureInCalledRoutineNamesTheCaller()
    {
        ScriptedModal modal;
        auto routineWithoutReport = [] { throw Failure::pathFileAccess(); };
        Procedure p("Form1", "Form_QueryUnload");
        p.run(104, [&] { routineWithoutReport(); });
        QCOMPARE(modal.shown.size(), 1);
        QVERIFY(modal.shown[0].text.contains("Form1.Form_QueryUnload at line 104"));
    }

    void valuesOfFailedActionKeepTheirPreviousValue()
    {
        ScriptedModal modal;
        double value = 7;
        Procedure p("Form1", "HasReachedTemp");
        p.run(100, [&] {
            throw Failure::typeMismatch();
            value = 1; // never reached
        });
        QCOMPARE(value, 7.0);
    }

    void sameFailureIsNotStackedWhileItsBoxIsOpen()
    {
        ScriptedModal modal;
        int nested = 0;
        modal.onMessage([&](const ScriptedModal::Shown&) {
            // While the first box waits for OK, the poll fails the same way
            // again, and a different step fails once.
            if (nested++ == 0) {
                QCOMPARE(openErrorReports(), 1);
                Procedure again("Form1", "getWeather");
                again.run(102, [] { throw Failure("Host not found"); });
                again.run(102, [] { throw Failure("Host not found"); });
                again.run(104, [] { throw Failure("Host not found"); });
            }
        });
        Procedure p("Form1", "getWeather");
        p.run(102, [] { throw Failure("Host not found"); });
        QCOMPARE(modal.shown.size(), 2); // the first, and step 104's
        QVERIFY(modal.shown[1].text.contains("at line 104"));
        QCOMPARE(openErrorReports(), 0);
    }

    void lastingFaultIsReportedOnce()
    {
        ScriptedModal modal;
        auto fail = [] { throw Failure("Host not found"); };
        for (int poll = 0; poll < 3; ++poll) {
            Procedure("Form1", "getWeather").run(104, fail);
        }
        QCOMPARE(modal.shown.size(), 1);
        {
            // The user asked: he hears about it.
            UserRequestScope asked;
            Procedure("Form1", "getWeather").run(104, fail);
        }
        QCOMPARE(modal.shown.size(), 2);
        // Gone and back: news again.
        Procedure("Form1", "getWeather").run(104, [] {});
        Procedure("Form1", "getWeather").run(104, fail);
        Procedure("Form1", "getWeather").run(104, fail);
        QCOMPARE(modal.shown.size(), 3);
        // A fault that comes and goes within each poll: news once, until a
        // whole poll has gone right.
        forgetReportedFaults();
        modal.shown.clear();
        const auto poll = [&](bool secondFails) {
            PollScope scope;
            Procedure("Form1", "getWeather").run(104, [] {});
            Procedure("Form1", "getWeather").run(104, [&] {
                if (secondFails) {
                    fail();
                }
            });
        };
        for (int i = 0; i < 4; ++i) {
            poll(true);
        }
        QCOMPARE(modal.shown.size(), 1);
        poll(false);
        poll(true);
        QCOMPARE(modal.shown.size(), 2);
    }

    void standardExceptionsAreReportedToo()
    {
        ScriptedModal modal;
        Procedure p("Form3", "PushButton3_Click");
        p.run(102, [] { throw std::runtime_error("Connection refused"); });
        QCOMPARE(modal.shown.size(), 1);
        QVERIFY(modal.shown[0].text.startsWith("Connection refused\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestErrorReport)
#include "test_errorreport.moc"

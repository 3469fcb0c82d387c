// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "RecordingTrayBackend.h"
#include "ScriptedModal.h"
#include "TestEnv.h"

#include "alarm/TemperatureMonitor.h"
#include "app/Form1.h"
#include "base/SystemState.h"
#include "tools/weather-sim/WeatherSim.h"

#include <QTest>

#include <memory>

// A main window as a test needs it: throw-away folders, scripted boxes, a
// recorded tray, the weather service on loopback with one place in it, and a
// system that says nothing about sleep or the network (whatever the test
// machine's own network does).
struct MainWindowHarness {
    TestEnv env;
    ScriptedModal modal;
    WeatherSim sim;
    RecordingTrayBackend tray;
    SystemState system;
    std::unique_ptr<Form1> window;

    explicit MainWindowHarness(double kelvin = 291.35, int pollMs = 3600000)
    {
        if (!sim.listen()) {
            qFatal("test weather service cannot listen");
        }
        qputenv("TEPORA_SERVICE_URL", sim.baseUrl().toUtf8());
        sim.setPlace(QStringLiteral("San Diego CA"), QStringLiteral("San Diego"), kelvin);
        options.trayBackend = &tray;
        options.systemState = &system;
        options.pollIntervalMs = pollMs;
        options.programFolder = testBinaryDir();
    }
    ~MainWindowHarness()
    {
        window.reset();
        qunsetenv("TEPORA_SERVICE_URL");
    }

    // Loads the window; with `activate` also shows it and waits until the
    // first activation has primed the alarm. False when that never happened.
    bool start(bool activate = true)
    {
        window = std::make_unique<Form1>(options);
        window->Form_Load();
        if (!activate) {
            return true;
        }
        window->show();
        window->activateWindow();
        return QTest::qWaitFor([this] { return !window->startingUp(); }, 10000);
    }

    // Waits until no refresh, alarm test or priming reading runs (a click
    // starts one and returns while it waits for the service).
    bool settled(int timeoutMs = 10000)
    {
        return QTest::qWaitFor([this] { return !window->monitor()->refreshing(); }, timeoutMs);
    }

    template <class T> T* child(const char* name) const { return window->findChild<T*>(QLatin1String(name)); }

    Form1Options options;
};

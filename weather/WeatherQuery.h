// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "weather/WeatherText.h"

#include <QString>

#include <QCoroTask>

class Inet;

// What one reading needs from the main window, read afresh at every call.
struct WeatherInputs {
    QString location; // the location label, as the user typed it
    TempUnit unit = TempUnit::None;
    QString apiKeyButtonCaption; // named in the rejected-key message
};

// One current-weather reading: sends the request for the location with the
// stored API key, recognises a rejected key and an unknown location, reads
// the temperature and converts it. Reports failures as the main window's
// "getWeather". The reading's place is the location, or the service's name
// for it when the answer carries one. `quiet` suppresses the two messages for
// a rejected key and an unknown location, never the error report. While the
// service has asked to wait (429), nothing is sent and the reading is
// AskedToWaitTemp.
struct Reading {
    double temperature = NoReadingTemp;
    QString cityName;
};
QCoro::Task<Reading> readWeather(Inet& inet, WeatherInputs inputs, bool quiet);

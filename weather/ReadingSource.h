// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "weather/WeatherQuery.h"

#include <QString>

#include <memory>

class Inet;

// Where readings come from. The program asks the weather service; tests
// answer with readings of their own.
class ReadingSource
{
public:
    virtual ~ReadingSource() = default;

    // One reading, as readWeather gives it; `cityName` as readWeather sets it.
    virtual double read(const WeatherInputs& inputs, bool quiet, QString& cityName) = 0;
};

// Readings from the weather service over the program's one web request.
class ServiceReadings : public ReadingSource
{
public:
    ServiceReadings();
    ~ServiceReadings() override;

    double read(const WeatherInputs& inputs, bool quiet, QString& cityName) override;

    // The web request itself; the key test shares it.
    Inet& transfer() const { return *m_inet; }

private:
    std::unique_ptr<Inet> m_inet;
};

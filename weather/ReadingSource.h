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

    // One reading, as readWeather gives it.
    virtual QCoro::Task<Reading> read(WeatherInputs inputs, bool quiet) = 0;
    // The program is closing: a reading under way ends now, none starts.
    virtual void cancel() {}
    // The machine sleeps or the network went: a reading under way ends now
    // with Cancelled, unreported; later ones go on as usual.
    virtual void abandon() {}
};

// Readings from the weather service over the program's one web request.
class ServiceReadings : public ReadingSource
{
public:
    ServiceReadings();
    ~ServiceReadings() override;

    QCoro::Task<Reading> read(WeatherInputs inputs, bool quiet) override;
    void cancel() override;
    void abandon() override;

    // The web request itself; the key test shares it.
    Inet& transfer() const { return *m_inet; }

private:
    std::unique_ptr<Inet> m_inet;
};

// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/ReadingSource.h"

#include "weather/Inet.h"

ServiceReadings::ServiceReadings() : m_inet(std::make_unique<Inet>()) {}

ServiceReadings::~ServiceReadings() = default;

QCoro::Task<Reading> ServiceReadings::read(WeatherInputs inputs, bool quiet)
{
    return readWeather(*m_inet, std::move(inputs), quiet);
}

void ServiceReadings::cancel()
{
    m_inet->cancel();
}

void ServiceReadings::abandon()
{
    m_inet->abandon();
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "weather/ReadingSource.h"

#include "weather/Inet.h"

ServiceReadings::ServiceReadings() : m_inet(std::make_unique<Inet>()) {}

ServiceReadings::~ServiceReadings() = default;

double ServiceReadings::read(const WeatherInputs& inputs, bool quiet, QString& cityName)
{
    return readWeather(*m_inet, inputs, quiet, cityName);
}

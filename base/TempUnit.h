// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Readings below -4999 are no temperatures but the reason there is none.
constexpr double InvalidKeyTemp = -5000;      // the service rejected the API key
constexpr double UnknownCityTemp = -5500;     // the service does not know the location
constexpr double NoReadingTemp = -6000;       // no usable answer (no network, unexpected text)
constexpr double AskedToWaitTemp = -6500;     // the service asked to wait before asking again (429)
constexpr double WaitsForNetworkTemp = -7000; // the system says it has no network: nothing was asked

enum class TempUnit { None, Fahrenheit, Celsius };

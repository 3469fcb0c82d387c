// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The two pages the API key dialog opens in the browser.
QString signInPage();
QString apiKeyArticle();

// How the key test's request went.
enum class KeyTestRequest {
    Answered, // the service's answer is in hand
    Failed,   // the transfer failed (already reported)
    Busy,     // a regular update held the connection, so nothing was sent
};

// What the key test tells the user. A key counts as correct only when the
// service answered as it does for a good key: with a reading, or with
// "city not found". Silence or an error page says nothing about the key.
QString keyTestVerdict(const QString& storedKey, KeyTestRequest request, const QString& answer);

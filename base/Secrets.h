// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Texts that must never be shown or printed: the API keys sent this run. A
// hostile or broken service may echo a key anywhere (a reason phrase, a place
// name), so text from outside and every report go through withoutSecrets().
void keepSecret(const QString& secret);

// `text` with every secret kept so far replaced by "…".
QString withoutSecrets(QString text);

// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Secrets.h"

#include <QStringList>

namespace
{

// Shorter texts would blank out ordinary words; a real key has 32 characters.
constexpr qsizetype kMinSecretChars = 4;
// The user may try several keys in one run; the oldest is dropped first.
constexpr qsizetype kMaxSecrets = 8;

QStringList& secrets()
{
    static QStringList kept;
    return kept;
}

} // namespace

void keepSecret(const QString& secret)
{
    if (secret.size() < kMinSecretChars || secrets().contains(secret)) {
        return;
    }
    if (secrets().size() >= kMaxSecrets) {
        secrets().removeFirst();
    }
    secrets().append(secret);
    // The encoded form goes into the address and may come back that way.
    const QString encoded = QString::fromLatin1(secret.toUtf8().toPercentEncoding());
    if (encoded != secret) {
        secrets().append(encoded);
    }
}

QString withoutSecrets(QString text)
{
    for (const QString& secret : secrets()) {
        text.replace(secret, QStringLiteral("…"));
    }
    return text;
}

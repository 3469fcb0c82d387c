// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/SettingsLocation.h"

#include <QSettings>

namespace
{

// Where the program always kept its values on Windows.
const QString kRegistryPath =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Ravensel");

} // namespace

namespace SettingsLocation
{

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(kRegistryPath, QSettings::NativeFormat);
}

QString describe()
{
    return kRegistryPath + QStringLiteral("\\Tepora");
}

// Registry values are read one by one, whatever else the key holds.
QString refusal()
{
    return {};
}

// The registry key is the user's own already.
void prepareWrite() {}

void finishWrite() {}

} // namespace SettingsLocation

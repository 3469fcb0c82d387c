// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/modStartUp.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace
{

QString programFileName(const RunEntryPlace& place)
{
    return QFileInfo(place.programPath).fileName();
}

} // namespace

QString RunEntryPlace::defaultProgramPath()
{
    return QCoreApplication::applicationFilePath();
}

bool AddToStartup(const RunEntryPlace& place)
{
    const QString fileName = programFileName(place);
    return !fileName.isEmpty() && WriteRunEntry(fileName, place);
}

bool RemoveFromStartup(const RunEntryPlace& place)
{
    // Without a program file nothing can have been entered under its name.
    const QString fileName = programFileName(place);
    return fileName.isEmpty() || DeleteRunEntry(fileName, place);
}

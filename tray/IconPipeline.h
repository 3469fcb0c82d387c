// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/Latch.h"

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QString>

#include <QCoroTask>

#include <optional>

class Procedure;

// Turns the drawn tray picture into the icon the tray shows: writes it as
// "CurTemp.bmp", has the converter that travels inside the program make
// "CurTemp.ico" of it, and checks the result. Owns the converter's copy on
// disk from deployment at start to removal at the end.
class IconPipeline
{
public:
    static constexpr int kConverterTimeoutMs = 10000;

    explicit IconPipeline(int converterTimeoutMs = kConverterTimeoutMs);

    // The converter's bytes as the program carries them. Raises Failure when
    // the program was built without them.
    static QByteArray converterBytes();
    // Where the converter is written for the run: a folder only this user can
    // write. TEMP when it is such a folder, else the user's runtime folder,
    // else the user's cache folder.
    static QString converterPath();

    // Writes the converter afresh over whatever has its name, and remembers
    // its bytes: a conversion runs only a file that still holds them. Raises
    // Failure when the folder is not the user's alone or the file cannot be
    // written.
    void deployConverter(const QByteArray& bytes);
    void removeConverter() const;

    // Where "CurTemp.bmp" and "CurTemp.ico" go: the user's cache folder,
    // never the program's. Empty when that folder is not the user's alone:
    // there are no icon files then.
    QString folder() const;
    QString bitmapPath() const { return folder() + QStringLiteral("/CurTemp.bmp"); }
    QString iconPath() const { return folder() + QStringLiteral("/CurTemp.ico"); }

    // The refresh's steps 114 to 118 on `p`: bitmap, conversion, icon check.
    // The converted icon, or the drawn picture itself when there is none.
    QCoro::Task<QIcon> convert(Procedure& p, QImage drawn) const;

    // The program is closing: a conversion under way is ended, none starts.
    void cancel() { m_stop.open(); }

private:
    // True when the deployed converter is in place as written, after writing
    // it again if it is not.
    bool converterIsOurs() const;

    int m_timeoutMs;
    Latch m_stop;
    mutable std::optional<QString> m_folder;
    mutable bool m_folderReported = false;
    QByteArray m_converter; // as deployed
    QString m_converterPath;
};

// Whether only this user can change the file or folder at `path`: the user
// owns it and nobody else may write to it.
bool isUsersOwn(const QString& path);

// Writes `bytes` to a new file at `path`, unless a file of that name exists.
// The file is made executable. Raises Failure::pathFileAccess() when it
// cannot be written.
void WriteNewFile(const QByteArray& bytes, const QString& path);

// Deletes a file, ignoring every failure.
void RemoveFile(const QString& path);

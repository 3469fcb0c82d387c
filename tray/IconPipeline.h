#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QString>

class Procedure;

// Turns the drawn tray picture into the icon the tray shows: writes it as
// "CurTemp.bmp", has the converter that travels inside the program make
// "CurTemp.ico" of it, and checks the result. Owns the converter's copy on
// disk from deployment at start to removal at the end.
class IconPipeline {
public:
    static constexpr int kConverterTimeoutMs = 10000;

    explicit IconPipeline(const QString& programFolder, int converterTimeoutMs = kConverterTimeoutMs);

    // The converter's bytes as the program carries them. Raises Failure when
    // the program was built without them.
    static QByteArray converterBytes();
    // Where the converter is written for the run.
    static QString converterPath();

    void deployConverter(const QByteArray& bytes) const;
    void removeConverter() const;

    // Where "CurTemp.bmp" and "CurTemp.ico" go: the program's folder when the
    // user may write there (a portable copy), else the user's cache folder.
    QString folder() const;
    QString bitmapPath() const { return folder() + QStringLiteral("/CurTemp.bmp"); }
    QString iconPath() const { return folder() + QStringLiteral("/CurTemp.ico"); }

    // The refresh's steps 114 to 118 on `p`: bitmap, conversion, icon check.
    // The converted icon, or the drawn picture itself when there is none.
    QIcon convert(Procedure& p, const QImage& drawn) const;

private:
    QString m_programFolder;
    int m_timeoutMs;
    mutable QString m_folder;
};

// Writes `bytes` to a new file at `path`, unless a file of that name exists.
// The file is made executable. Raises Failure::pathFileAccess() when it
// cannot be written.
void WriteNewFile(const QByteArray& bytes, const QString& path);

// Deletes a file, ignoring every failure.
void RemoveFile(const QString& path);

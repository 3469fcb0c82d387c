#pragma once

#include <QByteArray>
#include <QString>

// The icon converter travels inside the program and is written out for the run.

// The converter's bytes as the program carries them. Raises Failure when the
// program was built without them.
QByteArray converterBytes();

// Writes `bytes` to a new file at `path`, unless a file of that name exists.
// The file is made executable. Raises Failure::pathFileAccess() when it
// cannot be written.
void WriteNewFile(const QByteArray& bytes, const QString& path);

// Deletes a file, ignoring every failure.
void RemoveFile(const QString& path);

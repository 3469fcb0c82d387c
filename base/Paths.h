#pragma once

#include <QString>

// True when the file system can tell the last-modification time of `path`.
// Never fails.
bool PathExists(const QString& path);

// The folder of the running program, without a trailing separator.
QString programDir();

// A read-only data file ("reveille.mp3", "HAND-M.CUR", "x/o.cjs"): beside the
// program first, then in the installed data folder (../share/tepora). The path
// beside the program when neither exists.
QString dataFilePath(const QString& programFolder, const QString& name);

// TEMP when it is set and not empty, else the platform's temporary folder.
QString tempFolder();

// Where the icon converter is written for the run.
QString converterPath();

// Where "CurTemp.bmp" and "CurTemp.ico" go: the program's folder when the
// user may write there (a portable copy), else the user's cache folder.
QString iconFolder(const QString& programFolder);

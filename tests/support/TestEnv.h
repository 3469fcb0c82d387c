// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QTemporaryDir>

// Points the user's folders (configuration, cache, autostart, TEMP) at a
// throw-away folder for the lifetime of the object, so no test touches the
// real ones.
class TestEnv
{
public:
    TestEnv();
    ~TestEnv();

    QString path() const { return m_dir.path(); }
    QString configHome() const;
    QString settingsFile() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfig, m_oldCache, m_oldTemp;
};

// The build folder (programs, data files beside the program).
QString testBinaryDir();

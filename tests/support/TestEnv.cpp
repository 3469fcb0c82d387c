// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestEnv.h"

#include <QDir>
#include <QtGlobal>

TestEnv::TestEnv()
{
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_oldCache = qgetenv("XDG_CACHE_HOME");
    m_oldTemp = qgetenv("TEMP");
    QDir(m_dir.path()).mkpath(QStringLiteral("config"));
    QDir(m_dir.path()).mkpath(QStringLiteral("cache"));
    QDir(m_dir.path()).mkpath(QStringLiteral("temp"));
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (m_dir.path() + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("TEMP", (m_dir.path() + QStringLiteral("/temp")).toLocal8Bit());
}

TestEnv::~TestEnv()
{
    auto restore = [](const char* name, const QByteArray& value) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    };
    restore("XDG_CONFIG_HOME", m_oldConfig);
    restore("XDG_CACHE_HOME", m_oldCache);
    restore("TEMP", m_oldTemp);
}

QString TestEnv::configHome() const
{
    return m_dir.path() + QStringLiteral("/config");
}

QString TestEnv::settingsFile() const
{
    return configHome() + QStringLiteral("/Ravensel.ini");
}

QString testBinaryDir()
{
    const QString dir = qEnvironmentVariable("TEPORA_TEST_BINARY_DIR");
    return dir.isEmpty() ? QDir::currentPath() : dir;
}

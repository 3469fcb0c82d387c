// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/CommandLine.h"

#include <QCommandLineParser>

#include <cstdio>

#ifndef TEPORA_VERSION
#define TEPORA_VERSION "unknown"
#endif

namespace
{

constexpr int kUsageError = 2;

struct Parser {
    QCommandLineParser parser;
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends.")};
    const QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and ends.")};
    bool parsed = false;

    explicit Parser(const QStringList& arguments)
    {
        // Qt's own options are single-dash words; read them as such, not as
        // bundles of letters that might hold an "h" or a "v".
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.setApplicationDescription(QStringLiteral(
            "Shows the outdoor temperature at one place in the system tray and sounds an alarm\n"
            "when it reaches a target. Settings: ~/.config/Ravensel.ini. See tepora(1)."));
        parser.addOptions({help, version});
        // Qt takes these once the application object exists; they are known
        // here so that the whole line is checked before a display is needed.
        for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin",
                                 "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display",
                                 "geometry", "name", "style", "stylesheet", "qmljsdebugger"}) {
            QCommandLineOption qt(QString::fromLatin1(name), QString(), QStringLiteral("value"));
            qt.setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(qt);
        }
        for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
            QCommandLineOption qt(QString::fromLatin1(name));
            qt.setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(qt);
        }
        parsed = parser.parse(arguments);
    }
};

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

std::optional<int> answerCommandLine(int argc, char** argv)
{
    if (argc <= 1) {
        return std::nullopt;
    }
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const Parser p(arguments);
    if (p.parser.isSet(p.help)) {
        // Qt names the program only when an application object exists.
        print(stdout, QStringLiteral("Usage: tepora [options]\n") +
                          p.parser.helpText().section(QLatin1Char('\n'), 1));
        return 0;
    }
    if (p.parser.isSet(p.version)) {
        print(stdout, QStringLiteral("tepora " TEPORA_VERSION "\n"));
        return 0;
    }
    QString mistake;
    if (!p.parsed) {
        mistake = p.parser.errorText();
    } else if (!p.parser.positionalArguments().isEmpty()) {
        mistake = QStringLiteral("takes no arguments, but was given '%1'.")
                      .arg(p.parser.positionalArguments().first());
    } else {
        return std::nullopt;
    }
    print(stderr, QStringLiteral("tepora: %1\nTry 'tepora --help'.\n").arg(mistake));
    return kUsageError;
}

// SPDX-License-Identifier: GPL-3.0-or-later

#include "WeatherSim.h"
#include "base/SignalRelay.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>

#include <cstdio>

namespace
{

struct Preset {
    const char* query;
    const char* name;
    double kelvin;
};

// Queries as a user would type them.
constexpr Preset kPlaces[] = {
    {"San Diego CA", "San Diego", 290.15},     {"San Diego", "San Diego", 290.15},
    {"Paris, France", "Paris", 282.15},        {"London", "London", 285.15},
    {"Londonderry, US", "Londonderry", 283.4}, {"Oslo", "Oslo", 268.15},
};

// The key stays out of the log, and whatever a client sent is printed as
// printable ASCII only.
QByteArray loggable(const QString& target)
{
    static const QRegularExpression key(QStringLiteral("([?&]appid=)[^&]*"),
                                        QRegularExpression::CaseInsensitiveOption);
    QByteArray text = QString(target).replace(key, QStringLiteral("\\1(key)")).toUtf8();
    for (char& c : text) {
        if (c < 0x20 || c > 0x7e)
            c = '?';
    }
    return text;
}

bool addPlace(WeatherSim& sim, const QString& entry)
{
    const qsizetype eq = entry.indexOf('=');
    const qsizetype colon = entry.lastIndexOf(':');
    if (eq <= 0 || colon < eq)
        return false;
    bool ok = false;
    const double kelvin = entry.sliced(colon + 1).toDouble(&ok);
    if (ok)
        sim.setPlace(entry.first(eq), entry.sliced(eq + 1, colon - eq - 1), kelvin);
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tepora-weather-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Answers like the OpenWeatherMap current-weather service, on 127.0.0.1.\n"
                       "GET /sim/set?q=<place>&kelvin=<value> pins a place's temperature."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port; 0 picks a free one."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption keyOption(
        QStringLiteral("key"), QStringLiteral("Accept only this API key (repeatable). None: any key."),
        QStringLiteral("K"));
    const QCommandLineOption placeOption(
        QStringLiteral("place"), QStringLiteral("A known place (repeatable); replaces the built-in ones."),
        QStringLiteral("query=Name:kelvin"));
    const QCommandLineOption logOption(
        QStringLiteral("log-requests"),
        QStringLiteral("Print \"request <ms since the epoch> <path and query>\" for each weather request."));
    const QCommandLineOption certificateOption(QStringLiteral("tls-certificate"),
                                               QStringLiteral("Speak https with this PEM certificate chain."),
                                               QStringLiteral("file"));
    const QCommandLineOption keyFileOption(
        QStringLiteral("tls-key"), QStringLiteral("The certificate's PEM RSA key."), QStringLiteral("file"));
    parser.addOptions({portOption, keyOption, placeOption, logOption, certificateOption, keyFileOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "tepora-weather-sim: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        parser.showHelp(0);
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "tepora-weather-sim: takes no arguments, but was given '%s'\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "tepora-weather-sim: bad --port\n");
        return 2;
    }

    WeatherSim sim;
    sim.setAcceptedKeys(parser.values(keyOption));
    sim.setDrift(3.0, 20 * 60 * 1000);
    const QStringList places = parser.values(placeOption);
    for (const QString& entry : places) {
        if (!addPlace(sim, entry)) {
            std::fprintf(stderr, "tepora-weather-sim: bad --place \"%s\" (query=Name:kelvin)\n",
                         qPrintable(entry));
            return 2;
        }
    }
    if (places.isEmpty()) {
        for (const Preset& p : kPlaces)
            sim.setPlace(QString::fromUtf8(p.query), QString::fromUtf8(p.name), p.kelvin);
    }

    if (parser.isSet(logOption)) {
        QObject::connect(&sim, &WeatherSim::requestReceived, &app, [](const QString& target) {
            std::printf("request %lld %s\n", QDateTime::currentMSecsSinceEpoch(),
                        loggable(target).constData());
            std::fflush(stdout);
        });
    }

    SignalRelay relay;
    QObject::connect(&relay, &SignalRelay::terminationRequested, &app, &QCoreApplication::quit);

    if (parser.isSet(certificateOption) &&
        !sim.useTls(parser.value(certificateOption), parser.value(keyFileOption))) {
        std::fprintf(stderr, "tepora-weather-sim: cannot read --tls-certificate or --tls-key\n");
        return 2;
    }
    if (!sim.listen(quint16(port))) {
        std::fprintf(stderr, "tepora-weather-sim: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    std::printf("listening on %s\n", qPrintable(sim.baseUrl()));
    std::fflush(stdout);
    return app.exec();
}

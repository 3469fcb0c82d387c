// The test weather service with one line per request on stdout,
// "request <ms since epoch> <path and query>", so that the benchmark can
// count refreshes and see when they happen. Same answers as
// tepora-weather-sim with its default drift.
#include "WeatherSim.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const quint16 port = args.size() > 1 ? quint16(args.at(1).toUInt()) : 0;

    WeatherSim sim;
    sim.setDrift(3.0, 20 * 60 * 1000);
    sim.setPlace(QStringLiteral("San Diego CA"), QStringLiteral("San Diego"), 290.15);
    QObject::connect(&sim, &WeatherSim::requestReceived, &app, [](const QString& target) {
        std::printf("request %lld %s\n", QDateTime::currentMSecsSinceEpoch(), qPrintable(target));
        std::fflush(stdout);
    });

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    if (!sim.listen(port)) {
        std::fprintf(stderr, "tepora-bench-sim: cannot listen on 127.0.0.1:%u\n", unsigned(port));
        return 1;
    }
    std::printf("listening on %s\n", qPrintable(sim.baseUrl()));
    std::fflush(stdout);
    return app.exec();
}

// orvo-service: a stand-in for the monitoring service that the program posts readings to.
#include "clock.h"
#include "http_service.h"
#include "monitor_service.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvo-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Takes the program's posting requests on 127.0.0.1, answers 200, writes each post as a "
        "JSON line, and serves /Monitor/monitor.php?user=NAME, the account's page."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("Port to listen on (0 takes a free one)."), QStringLiteral("P"),
        QStringLiteral("8080"));
    const QCommandLineOption postsOption(QStringLiteral("posts"),
        QStringLiteral("Append the posts to FILE instead of standard output."), QStringLiteral("FILE"));
    parser.addOption(portOption);
    parser.addOption(postsOption);
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "orvo-service: bad port %s\n", qPrintable(parser.value(portOption)));
        return 2;
    }

    QFile log;
    const bool opened = parser.isSet(postsOption)
        ? (log.setFileName(parser.value(postsOption)), log.open(QIODevice::WriteOnly | QIODevice::Append))
        : log.open(stdout, QIODevice::WriteOnly);
    if (!opened) {
        std::fprintf(stderr, "orvo-service: cannot write %s: %s\n",
                     qPrintable(parser.value(postsOption)), qPrintable(log.errorString()));
        return 1;
    }

    MonitorService service(&log);
    SystemClock clock;
    HttpService server(clock, MonitorService::limits());
    server.setFallback([&service](const QHttpServerRequest &request) { return service.handle(request); });
    if (!server.listen(QHostAddress::LocalHost, quint16(port))) {
        std::fprintf(stderr, "orvo-service: cannot listen on 127.0.0.1:%u: %s\n", port,
                     qPrintable(server.errorString()));
        return 1;
    }
    std::fprintf(stderr, "orvo-service: listening on http://127.0.0.1:%u/\n", unsigned(server.port()));
    std::fflush(stderr);
    return app.exec();
}

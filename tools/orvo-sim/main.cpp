// orvo-sim: the energy monitor's side of the serial line, on a pseudo-terminal or standard output.

#include "monitor_protocol.h"
#include "monitor_session.h"
#include "packet_stream.h"
#include "port_link.h"
#include "pty_device.h"
#include "radio_dongle.h"
#include "sim_log.h"
#include "sim_options.h"
#include "stdout_sink.h"
#include "termination_signals.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <optional>

namespace {

void configureLogging(const SimOptions &options)
{
    if (options.quiet)
        QLoggingCategory::setFilterRules(QStringLiteral("orvo.sim.info=false\norvo.sim.warning=false"));
    else if (options.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("orvo.sim.debug=true"));
}

int runOnStdout(QCoreApplication &app, const SimOptions &options, MeterSimulation &meter)
{
    StdoutSink sink;
    PacketStream stream(meter, options.meter.periodMs, options.count);
    QObject::connect(&stream, &PacketStream::packetReady, &sink, &StdoutSink::write);
    QObject::connect(&sink, &StdoutSink::closed, &app, &QCoreApplication::quit);
    QObject::connect(&stream, &PacketStream::limitReached, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    stream.start();
    return app.exec();
}

int runOnTerminal(QCoreApplication &app, const SimOptions &options, MeterSimulation &meter)
{
    PtyDevice line;
    QString error;
    if (!line.open(&error)) {
        std::fprintf(stderr, "orvo-sim: %s\n", qPrintable(error));
        return 1;
    }
    PortLink link;
    if (options.port > 0 && !link.create(options.port, line.devicePath(), &error)) {
        std::fprintf(stderr, "orvo-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(line.devicePath()));
    std::fflush(stdout);
    if (options.port > 0)
        qCInfo(lcSim).noquote() << "linked as" << link.path();

    MonitorProtocol protocol(options.protocol, options.monitor, &meter);
    PacketStream stream(meter, options.meter.periodMs, options.count);
    std::optional<RadioDongle> radio;
    if (options.radio.version != 0) {
        radio.emplace(options.radio.version, options.radio.replies);
        qCInfo(lcSim).noquote() << "radio dongle in front of node" << radio->nodeName();
    }
    MonitorSession session(line, protocol, stream, radio ? &*radio : nullptr);
    session.setRestartAfter(options.restartAfter);
    QObject::connect(&stream, &PacketStream::limitReached, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    if (options.startStreaming)
        session.startStreaming();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qSetMessagePattern(QStringLiteral("orvo-sim: %{message}"));
    QCoreApplication::setApplicationName(QStringLiteral("orvo-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVO_VERSION));

    QString error;
    const std::optional<SimOptions> options = parseSimOptions(QCoreApplication::arguments(), &error);
    if (!options) {
        std::fprintf(stderr, "orvo-sim: %s\nTry 'orvo-sim --help'.\n", qPrintable(error));
        return 2;
    }
    configureLogging(*options);

    TerminationSignalWatcher termination;
    if (!termination.install())
        qCWarning(lcSim) << "cannot catch SIGTERM, SIGINT and SIGHUP";
    QObject::connect(&termination, &TerminationSignalWatcher::terminationRequested, &app,
                     [](int signalNumber) {
                         qCInfo(lcSim) << "ending on signal" << signalNumber;
                         QCoreApplication::quit();
                     });

    qCInfo(lcSim) << "seed" << options->meter.load.seed;
    MeterSimulation meter(options->meter);
    return options->toStdout ? runOnStdout(app, *options, meter) : runOnTerminal(app, *options, meter);
}

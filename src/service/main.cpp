// orvotoved: the acquisition and relay program without a window, for a box beside the meter or
// a service manager. It reads the same settings and runs the same acquisition side (real time,
// recovery, the TCP data server, saving); the status log goes to standard error, messages
// become log lines and questions are answered No.
#include "acquisition_core.h"
#include "clock.h"
#include "ini_settings_store.h"
#include "qt_serial_port.h"
#include "settings_file_check.h"
#include "settings_lock.h"
#include "stderr_reporters.h"
#include "termination_signals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

QString settingsFileFromCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The Orvo-88 acquisition and relay program without a window.\n"
        "Settings: $XDG_CONFIG_HOME/Orvotove/Orvotove.ini (section [startup]) unless --settings."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("settings"), QStringLiteral("Use this INI file for the settings."),
                      QStringLiteral("FILE")});
    parser.process(app);
    return parser.value(QStringLiteral("settings"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvotoved"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvotove"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.04"));
    const QString settingsFile = settingsFileFromCommandLine(app);

    std::unique_ptr<IniSettingsStore> store = settingsFile.isEmpty()
                                                  ? std::make_unique<IniSettingsStore>()
                                                  : std::make_unique<IniSettingsStore>(settingsFile);
    // Refused at once, with the reason: started on defaults, it would fail only at the end.
    if (const auto problem = settingsFileProblem(store->fileName())) {
        std::fprintf(stderr, "orvotoved: cannot use the settings file %s: %s\n",
                     qPrintable(store->fileName()), qPrintable(*problem));
        return 2;
    }
    QString lockError;
    const auto lock = SettingsLock::acquire(store->fileName(), &lockError);
    if (!lock) {
        std::fprintf(stderr, "orvotoved: %s\n", qPrintable(lockError));
        return 3;
    }

    StderrReporters reporters;
    QtSerialPort port;
    SystemClock clock;
    AcquisitionCore core(port, clock, *store, reporters.bundle());
    reporters.log.addLine(QStringLiteral("orvotoved started; settings %1").arg(store->fileName()));

    // However the program is asked to end, the same orderly end writes the counters.
    TerminationSignalWatcher signalWatcher;
    if (!signalWatcher.install())
        reporters.log.addLine(QStringLiteral("cannot catch SIGTERM, SIGINT and SIGHUP"));
    QObject::connect(&signalWatcher, &TerminationSignalWatcher::terminationRequested, &core,
                     [&core, &reporters](int signalNumber) {
                         reporters.log.addLine(
                             QStringLiteral("Ending on signal %1").arg(signalNumber));
                         core.shutDown();
                         QCoreApplication::quit();
                     });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &core, &AcquisitionCore::shutDown);

    // Start-up runs inside the event loop, so that a request to end during its waits ends it.
    QTimer::singleShot(0, &core, [&core] {
        core.prepare();
        core.startAutomaticActions();
    });
    const int code = app.exec();
    core.shutDown();
    reporters.log.addLine(core.finalSaveSucceeded() ? QStringLiteral("Counters saved; ended")
                                                    : QStringLiteral("Ended without saving"));
    // A service manager learns that the counters were not written.
    return (code == 0 && !core.finalSaveSucceeded()) ? 1 : code;
}

// orvotove: the acquisition and relay program for the Orvo-88 energy monitor. Configuration
// lives in the settings ($XDG_CONFIG_HOME/Orvotove/Orvotove.ini, or the file --settings names).
#include "clock.h"
#include "ini_settings_store.h"
#include "main_window.h"
#include "qt_serial_port.h"
#include "settings_file_check.h"
#include "settings_lock.h"
#include "termination_signals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// The settings file --settings names; empty for the default one.
QString parseCommandLine(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Acquisition and relay program for the Orvo-88 energy monitor.\n"
        "Settings: $XDG_CONFIG_HOME/Orvotove/Orvotove.ini (section [startup])."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("settings"), QStringLiteral("Use this INI file for the settings."),
                      QStringLiteral("FILE")});
    parser.process(app);
    return parser.value(QStringLiteral("settings"));
}

// With ORVO_STARTUP_TIMING set, prints how long the way from main() to a shown window took,
// once the events queued by showing it have been handled.
void reportStartupTiming(MainWindow &window, const QElapsedTimer &sinceMain)
{
    if (!qEnvironmentVariableIsSet("ORVO_STARTUP_TIMING"))
        return;
    QObject::connect(&window, &MainWindow::windowShown, &window, [&sinceMain] {
        QTimer::singleShot(0, [&sinceMain] {
            std::fprintf(stderr, "orvotove: window shown %lld ms after main()\n",
                         static_cast<long long>(sinceMain.elapsed()));
        });
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvotove"));
    QApplication::setOrganizationName(QStringLiteral("Orvotove"));
    QApplication::setApplicationVersion(QStringLiteral("1.04"));
    const QString settingsFile = parseCommandLine(app);
    // The window parks in the tray while minimized; the program ends only through shut-down.
    QApplication::setQuitOnLastWindowClosed(false);

    std::unique_ptr<IniSettingsStore> ownStore = settingsFile.isEmpty()
                                                     ? std::make_unique<IniSettingsStore>()
                                                     : std::make_unique<IniSettingsStore>(settingsFile);
    IniSettingsStore &store = *ownStore;
    // Refused at once, with the reason: started on defaults, it would fail only at the end.
    if (const auto problem = settingsFileProblem(store.fileName())) {
        std::fprintf(stderr, "orvotove: cannot use the settings file %s: %s\n",
                     qPrintable(store.fileName()), qPrintable(*problem));
        return 2;
    }
    QString lockError;
    const auto lock = SettingsLock::acquire(store.fileName(), &lockError);
    if (!lock) {
        std::fprintf(stderr, "orvotove: %s\n", qPrintable(lockError));
        return 3;
    }
    QtSerialPort port;
    SystemClock clock;
    MainWindow window(port, clock, store);
    QObject::connect(&window, &MainWindow::shutDownFinished, &app, &QCoreApplication::quit);

    // However the program is asked to end, the same orderly end writes the counters.
    TerminationSignalWatcher signalWatcher;
    if (!signalWatcher.install())
        std::fprintf(stderr, "orvotove: cannot catch SIGTERM, SIGINT and SIGHUP\n");
    QObject::connect(&signalWatcher, &TerminationSignalWatcher::terminationRequested, &window,
                     &MainWindow::shutDown);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.shutDown(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &MainWindow::shutDown);

    reportStartupTiming(window, sinceMain);
    // Start-up runs inside the event loop, so that a request to end during its waits ends it.
    QTimer::singleShot(0, &window, &MainWindow::start);
    const int code = app.exec();
    // A caller (a service manager, a script) learns that the counters were not written.
    return (code == 0 && !window.finalSaveSucceeded()) ? 1 : code;
}

#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// orvo-sim running as the monitor on a pseudo-terminal, for integration tests. The simulator's
// ports directory lives in a temporary data home, so the user's own links are never touched.
class SimProcess {
public:
    SimProcess();
    ~SimProcess();

    // Starts build/bin/orvo-sim with the arguments and waits for the device path it prints.
    bool start(const QStringList &arguments);
    // Before start: keep the simulator's log (standard error) for logged() instead of passing it on.
    void setCaptureLog(bool on) { captureLog_ = on; }
    // The log so far, when captured.
    QString logged();
    void stop();

    QString devicePath() const { return devicePath_; }
    // The ports directory of another simulator, so that this one links as the same port number
    // (a device plugged in again). Call before start.
    void shareDataHome(const QString &path) { sharedDataHome_ = path; }
    QString dataHome() const { return sharedDataHome_.isEmpty() ? dataHome_.path() : sharedDataHome_; }
    QProcess &process() { return process_; }

    // The built programs' folder, from ORVO_BIN_DIR (set by the test registration).
    static QString binDir();

    // Starts orvotoved on a settings file at iniPath that streams from this simulator, started
    // with "--port 15", with HTTP on at httpPort and the further settings given.
    bool startService(QProcess &daemon, const QString &iniPath, quint16 httpPort,
                      const QList<QPair<QString, QString>> &more = {});

private:
    QTemporaryDir dataHome_;
    QProcess process_;
    QString devicePath_;
    QString log_;
    bool captureLog_ = false;
    QString sharedDataHome_;
};

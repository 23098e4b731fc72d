#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the requests to end the program (SIGTERM, SIGINT, SIGHUP) into a Qt signal delivered
// from the event loop, so that the orderly end runs there and not inside a signal handler. A
// signal handler writes the signal's number into a pipe; a socket notifier reads it.
//
// One watcher at a time: the handler and the pipe are process-wide. The previous handlers come
// back when the watcher goes.
class TerminationSignalWatcher final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignalWatcher(QObject *parent = nullptr);
    ~TerminationSignalWatcher() override;

    // False when the pipe or a handler could not be set up (or on a platform without signals).
    bool install();

signals:
    void terminationRequested(int signalNumber);

private:
    void readPipe();
    void uninstall();

    QSocketNotifier *notifier_ = nullptr;
    bool installed_ = false;
};

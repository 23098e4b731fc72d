#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal through a self-pipe, so that shutdown runs in the
// event loop with the destructors that tidy up.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    bool install();

signals:
    void received(int signalNumber);

private:
    void drainPipe();

    QSocketNotifier *notifier_ = nullptr;
};

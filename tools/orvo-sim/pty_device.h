#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// The monitor's end of a pseudo-terminal: the program under test opens the other end as its
// serial port. The simulator keeps that end open itself as well, so the program may close and
// reopen its port at will without the master seeing a hang-up.
class PtyDevice : public QObject {
    Q_OBJECT
public:
    explicit PtyDevice(QObject *parent = nullptr);
    ~PtyDevice() override;

    // Creates the terminal in raw mode at 19200 baud. False with a reason on failure.
    bool open(QString *error);
    QString devicePath() const { return devicePath_; }

    // Queues the bytes for the line. While nobody reads the other end, the terminal's buffer
    // fills up and what does not fit is dropped, as on a serial line with no listener.
    void write(const QByteArray &bytes);

signals:
    void bytesReceived(const QByteArray &bytes);

private:
    bool configureSlave(QString *error);
    void readMaster();
    void flushPending();
    void pauseReadingAfterHangUp();

    int master_ = -1;
    int heldSlave_ = -1;
    QString devicePath_;
    QSocketNotifier *readNotifier_ = nullptr;
    QSocketNotifier *writeNotifier_ = nullptr;
    QByteArray pending_;
    QTimer readRetry_;
};

#pragma once

#include <QByteArray>
#include <QObject>

// Standard output as a raw byte line, for piping packets into a decoder.
class StdoutSink : public QObject {
    Q_OBJECT
public:
    // A reader that goes away makes writes fail instead of killing the process.
    explicit StdoutSink(QObject *parent = nullptr);

    void write(const QByteArray &bytes);

signals:
    // Standard output is no longer writable.
    void closed();
};

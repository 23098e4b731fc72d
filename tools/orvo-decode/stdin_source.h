#pragma once

#include <QIODevice>

// Standard input as a device whose read returns as soon as some bytes are there. A stream piped
// in live (the simulator's output, a serial line through a pipe) is then decoded as it comes,
// not in blocks of the read size; a file read through QFile would wait for a full block.
class StdinSource final : public QIODevice {
public:
    StdinSource();
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }
};

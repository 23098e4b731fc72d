#pragma once

#include <QByteArray>
#include <QIODevice>

// Takes a client's command line off its connection once the received text ends in CR. Text
// waits in the connection until then, but never more than kMaxPending bytes of it: a client that
// never sends a CR must not make the program grow without limit.
class CommandLineReader {
public:
    static constexpr qint64 kMaxPending = 4096;

    enum class Result {
        Incomplete, // nothing to answer yet
        Line,       // line holds the received text, its final CR included
        TooLong,    // the pending text passed the limit and was dropped
    };

    Result read(QIODevice &device, QByteArray &line);
    // A new client starts with nothing dropped.
    void reset() { discarding_ = false; }

private:
    // The rest of a line that was too long is dropped as it comes, up to its CR.
    bool discarding_ = false;
};

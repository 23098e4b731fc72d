#pragma once

// The TCP data server as real-time control drives it: it listens only while real-time data
// flows. The server implements it; until then nothing is opened.
class DataServerControl {
public:
    virtual ~DataServerControl() = default;
    // The communication panel's "Start Server" action.
    virtual void openServer() = 0;
    // The server socket is closed (state 0).
    virtual bool isServerClosed() const = 0;
};

#pragma once

#include "reporters.h"

// The TCP data server as real-time control drives it: it listens only while real-time data
// flows. The server implements it; until then nothing is opened.
class DataServerControl {
public:
    virtual ~DataServerControl() = default;
    // The communication panel's "Start Server" action.
    virtual void openServer() = 0;
    // The server socket is closed (ServerState::Closed).
    virtual bool isServerClosed() const = 0;
};

// No server: nothing opens, and it never counts as closed.
template <>
DataServerControl &doNothingReporter<DataServerControl>();

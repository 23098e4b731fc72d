#pragma once

#include <QString>

// The colours of the server's status box: the program's one-line status fields use these four.
enum class ServerColour {
    BlackOnGreen,  // a client is connected
    WhiteOnRed,    // closed
    BlackOnYellow, // listening
    WhiteOnBlack,  // socket error
};

// Where the data server shows its state: the main window's server status box and its title.
class ServerStatusView {
public:
    virtual ~ServerStatusView() = default;
    virtual void showServerStatus(const QString &text, ServerColour colour) = 0;
    virtual void setWindowTitle(const QString &title) = 0;
};

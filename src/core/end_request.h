#pragma once

#include <QObject>

// The program's request to end: set once by the orderly end (termination signal, window closed,
// session ending), looked at by every nested wait so that an exchange with the monitor stops
// waiting as soon as the program is to end.
//
// The newest EndRequest alive is the program's current one; the program makes one for its
// whole run, and a test makes its own, so that no request outlives the objects it belongs to.
class EndRequest final : public QObject {
    Q_OBJECT
public:
    explicit EndRequest(QObject *parent = nullptr);
    ~EndRequest() override;

    // The current request; null when none exists (then the end is never requested).
    static EndRequest *current();
    // True when the current request has been made.
    static bool isPending();

    // Requests the end; requested() is emitted the first time only.
    void request();
    bool isRequested() const { return requested_; }

signals:
    void requested();

private:
    bool requested_ = false;
};

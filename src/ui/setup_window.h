#pragma once

#include "setup_exchange.h"
#include "setup_window_layout.h"

#include <QMainWindow>
#include <QPointer>

class AcquisitionCore;
class DataServer;

// The setup window (Orvo_Util): the monitor's CT, PT, storage interval and device ID settings
// with the CT presets, the read-back of its settings and serial number, the handshake test, the
// polarity toggles and resets, and three test buttons for the data server. Each button reads and
// checks its fields, suspends real time, runs a setup sequence, reports in the status list (the
// program's setup log) and message boxes, and restores real time as it found it.
//
// It is destroyed when closed. A sequence's waits handle events, so the window may go while one
// of its operations runs: the operation then finishes its sequence and the restore of real time
// and touches none of the window's widgets.
class SetupWindow final : public QMainWindow {
    Q_OBJECT
public:
    static constexpr quint16 kTestServerPort = 8081;

    explicit SetupWindow(AcquisitionCore &core, QWidget *parent = nullptr);
    ~SetupWindow() override;

    // The port that the "connect" test button listens on.
    void setTestServerPort(quint16 port) { testPort_ = port; }
    // Writes a CT type and range, as plain decimal text, into both channels' fields. [RefrCT]
    void refreshCt(int type, int range);

    const SetupWidgets &widgets() const { return w_; }

private:
    void connectControls();

    // The monitor operations (setup_operations.cpp).
    void acceptCt(int channel);
    void acceptPt();
    void acceptInterval();
    void acceptDeviceId();
    void readSettings();
    void readSerialNumber();
    void sendAcknowledge();
    void togglePolarity(int channel);
    void resetMonitor();

    void resetPreResetValues();
    void connectTestServer();
    void disconnectTestServer();
    void showTestServerState();

    SetupWidgets w_;
    SetupContext context_;
    QPointer<AcquisitionCore> core_;
    QPointer<DataServer> server_;
    quint16 testPort_ = kTestServerPort;
};

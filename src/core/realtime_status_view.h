#pragma once

// Where the real-time state is shown: "Real-Time Data Active" (black on green) or
// "Real-Time Data Stopped" (white on red), centred.
class RealTimeStatusView {
public:
    enum class Field {
        MainWindow, // the main window's real-time field
        WebForm,    // the web posting window's status field
    };
    virtual ~RealTimeStatusView() = default;
    virtual void showRealTimeActive(Field field) = 0;
    virtual void showRealTimeStopped(Field field) = 0;
};

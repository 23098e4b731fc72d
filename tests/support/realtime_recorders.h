#pragma once

#include "data_server_control.h"
#include "realtime_status_view.h"

#include <QElapsedTimer>
#include <QStringList>

#include <functional>

// Test doubles for the real-time status fields and the data server's open operation.

class RecordingRealTimeView final : public RealTimeStatusView {
public:
    void showRealTimeActive(Field f) override { record(name(f) + "Real-Time Data Active"); }
    void showRealTimeStopped(Field f) override
    {
        record(name(f) + "Real-Time Data Stopped");
        if (f == Field::MainWindow && onMainStopped)
            onMainStopped();
    }
    static QString name(Field f) { return f == Field::MainWindow ? "main: " : "web: "; }

    QStringList shown;
    QList<qint64> shownAtMs; // milliseconds since the recorder was made, one per entry of shown
    std::function<void()> onMainStopped; // runs when the main window's field shows stopped

private:
    void record(const QString &text)
    {
        shown.append(text);
        shownAtMs.append(since_.elapsed());
    }
    QElapsedTimer since_ = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

class RecordingServer final : public DataServerControl {
public:
    void openServer() override
    {
        ++opens;
        closed = false;
    }
    bool isServerClosed() const override { return closed; }
    int opens = 0;
    bool closed = true;
};

#pragma once

#include "logging_prompts.h"
#include "reporters.h"

#include <QString>

// The status log on standard error, one line each, with a local time stamp unless systemd's
// journal takes the lines (JOURNAL_STREAM set), which stamps them itself.
class StderrStatusLines final : public StatusLines {
public:
    StderrStatusLines();
    void addLine(const QString &line) override;
    void clear() override {} // a log on a stream is never cleared

private:
    bool stamped_;
};

// The views of the window as status lines: each change of the port's, real time's and the
// data server's state is written once.
class StatusLineViews final : public PortStatusView, public RealTimeStatusView,
                              public ServerStatusView {
public:
    explicit StatusLineViews(StatusLines &log) : log_(log) {}
    void showPortOpen() override { show(port_, QStringLiteral("COM Port is Open")); }
    void showPortClosed() override { show(port_, QStringLiteral("COM Port is Closed")); }
    void showRealTimeActive(Field field) override;
    void showRealTimeStopped(Field field) override;
    void showServerStatus(const QString &text, ServerColour colour) override;
    void setWindowTitle(const QString &) override {}

private:
    void show(QString &last, const QString &text);

    StatusLines &log_;
    QString port_;
    QString realTime_;
    QString server_;
};

// Everything the program without a window reports, as lines on standard error.
struct StderrReporters {
    StderrStatusLines log;
    LoggingPrompts prompts{&log};
    StatusLineViews views{log};

    Reporters bundle()
    {
        return Reporters{.statusLog = &log,
                         .portView = &views,
                         .prompts = &prompts,
                         .realTimeView = &views,
                         .serverView = &views};
    }
};

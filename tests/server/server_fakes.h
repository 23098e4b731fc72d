#pragma once

#include "monitor_commands.h"
#include "server_status_view.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>

// Test doubles for the data server's view and the monitor commands its clients run.

class RecordingServerView final : public ServerStatusView {
public:
    void showServerStatus(const QString &text, ServerColour colour) override
    {
        statuses.append({text, colour});
    }
    void setWindowTitle(const QString &title) override { titles.append(title); }
    QString lastStatus() const { return statuses.isEmpty() ? QString() : statuses.last().first; }
    void clear()
    {
        statuses.clear();
        titles.clear();
    }
    QList<QPair<QString, ServerColour>> statuses;
    QStringList titles;
};

class FakeMonitorCommands final : public MonitorCommands {
public:
    void togglePolarity(int channel) override
    {
        toggled.append(channel);
        if (whileBusy)
            whileBusy();
    }
    MonitorSettingsReply readSettingsForServer() override
    {
        ++settingsReads;
        if (whileBusy)
            whileBusy();
        return settings;
    }
    QString resetAccumulated() override
    {
        ++resets;
        if (whileBusy)
            whileBusy();
        return resetResult;
    }

    // Runs while a command talks to the monitor: a test spins events here.
    std::function<void()> whileBusy;
    MonitorSettingsReply settings;
    QString resetResult = QStringLiteral("OK");
    QList<int> toggled;
    int settingsReads = 0;
    int resets = 0;
};

#pragma once

#include "port_status_view.h"
#include "reporters.h"
#include "realtime_status_view.h"
#include "server_status_view.h"
#include "status_field.h"

// The main window's port field (Text1).
class PortStatusField final : public StatusField, public PortStatusView {
    Q_OBJECT
public:
    explicit PortStatusField(QWidget *parent = nullptr) : StatusField(QStringLiteral("Text1"), parent) {}
    void showPortOpen() override { showGood(QStringLiteral("COM Port is Open")); }
    void showPortClosed() override { showStopped(QStringLiteral("COM Port is Closed")); }
};

// The main window's real-time field (Text2). The web form's status field lives in the web form:
// reports for it are passed on there once the web form exists.
class RealTimeStatusField final : public StatusField, public RealTimeStatusView {
    Q_OBJECT
public:
    explicit RealTimeStatusField(QWidget *parent = nullptr) : StatusField(QStringLiteral("Text2"), parent) {}
    void setWebForm(RealTimeStatusView *webForm) { webForm_ = webForm; }
    void showRealTimeActive(Field field) override
    {
        if (field == Field::MainWindow)
            showGood(QStringLiteral("Real-Time Data Active"));
        else
            webForm_->showRealTimeActive(field);
    }
    void showRealTimeStopped(Field field) override
    {
        if (field == Field::MainWindow)
            showStopped(QStringLiteral("Real-Time Data Stopped"));
        else
            webForm_->showRealTimeStopped(field);
    }

private:
    Reporter<RealTimeStatusView> webForm_;
};

// The main window's server field (Text12); the data server also names its state in the title of
// the window given.
class ServerStatusField final : public StatusField, public ServerStatusView {
    Q_OBJECT
public:
    ServerStatusField(QWidget *titled, QWidget *parent)
        : StatusField(QStringLiteral("Text12"), parent), titled_(titled)
    {
    }
    void showServerClosed() { showStopped(QStringLiteral("Orvo-88 Stayhost Closed")); }
    void showServerStatus(const QString &text, ServerColour colour) override;
    void setWindowTitle(const QString &title) override;

private:
    QWidget *titled_;
};

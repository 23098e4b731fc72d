#include "reporters.h"

namespace {

class NoStatusLines final : public StatusLines {
public:
    void addLine(const QString &) override {}
    void clear() override {}
};

class NoPrompts final : public UserPrompts {
public:
    void message(const QString &) override {}
    bool askYesNo(const QString &) override { return false; }
};

class NoPortView final : public PortStatusView {
public:
    void showPortOpen() override {}
    void showPortClosed() override {}
};

class NoRealTimeView final : public RealTimeStatusView {
public:
    void showRealTimeActive(Field) override {}
    void showRealTimeStopped(Field) override {}
};

class NoServerView final : public ServerStatusView {
public:
    void showServerStatus(const QString &, ServerColour) override {}
    void setWindowTitle(const QString &) override {}
};

class NoBusyIndicator final : public BusyIndicator {
public:
    void setBusy(bool) override {}
};

} // namespace

template <>
StatusLines &doNothingReporter<StatusLines>()
{
    static NoStatusLines none;
    return none;
}

template <>
UserPrompts &doNothingReporter<UserPrompts>()
{
    static NoPrompts none;
    return none;
}

template <>
PortStatusView &doNothingReporter<PortStatusView>()
{
    static NoPortView none;
    return none;
}

template <>
RealTimeStatusView &doNothingReporter<RealTimeStatusView>()
{
    static NoRealTimeView none;
    return none;
}

template <>
ServerStatusView &doNothingReporter<ServerStatusView>()
{
    static NoServerView none;
    return none;
}

template <>
BusyIndicator &doNothingReporter<BusyIndicator>()
{
    static NoBusyIndicator none;
    return none;
}

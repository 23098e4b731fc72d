#pragma once

#include "busy_indicator.h"
#include "port_status_view.h"
#include "realtime_status_view.h"
#include "server_status_view.h"
#include "status_lines.h"
#include "user_prompts.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <type_traits>

// The do-nothing object of each reporting interface: what a reporter stands for when nobody
// is given, or when the window behind it has gone.
template <class T>
T &doNothingReporter();
template <>
StatusLines &doNothingReporter<StatusLines>();
template <>
UserPrompts &doNothingReporter<UserPrompts>(); // messages vanish, every question gets No
template <>
PortStatusView &doNothingReporter<PortStatusView>();
template <>
RealTimeStatusView &doNothingReporter<RealTimeStatusView>();
template <>
ServerStatusView &doNothingReporter<ServerStatusView>();
template <>
BusyIndicator &doNothingReporter<BusyIndicator>();

// One reporter of the bundle. It never yields null: without an object, or once the object
// behind it (when that is a QObject, typically a widget) has been destroyed, for instance by an
// event handled during a nested wait, it yields the do-nothing object.
template <class T>
class Reporter {
public:
    Reporter(T *p = nullptr) : p_(p), object_(dynamic_cast<QObject *>(p)), isObject_(object_) {}

    T &get() const
    {
        const bool gone = !p_ || (isObject_ && !object_);
        return gone ? doNothingReporter<T>() : *p_;
    }
    T *operator->() const { return &get(); }
    operator T &() const { return get(); }

private:
    T *p_;
    QPointer<QObject> object_;
    bool isObject_;
};

// An action the program offers the user (opening a window); does nothing unless given.
class ReporterAction {
public:
    ReporterAction() = default;
    template <class F>
        requires std::is_invocable_v<F>
    ReporterAction(F action) : action_(std::move(action))
    {
    }
    // A copy runs, so that the action may destroy whatever holds this object.
    void operator()() const
    {
        if (const auto action = action_)
            action();
    }

private:
    std::function<void()> action_;
};

// Where the program reports to the user, one bundle for the whole program: the main window
// fills it with its widgets, tests with recorders, the service without a window with its own
// objects. Every member is usable as it is; what is not given does nothing.
struct Reporters {
    Reporter<StatusLines> statusLog = {};           // the main window's status log
    Reporter<PortStatusView> portView = {};         // the port status fields
    Reporter<UserPrompts> prompts = {};             // message boxes and Yes/No questions
    Reporter<RealTimeStatusView> realTimeView = {}; // the real-time status fields
    Reporter<BusyIndicator> busy = {};              // the busy pointer
    Reporter<ServerStatusView> serverView = {};     // the data server's status box and title
    // Opens the communication panel, where the link method and the port are chosen.
    ReporterAction openCommunicationPanel = {};
    // Run when the user answers Yes to searching for ports: the communication panel opens and
    // lists the available ports.
    ReporterAction searchForPorts = {};
};

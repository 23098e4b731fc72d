#pragma once

#include "busy_indicator.h"
#include "link_method.h"

#include <QWidget>

#include <functional>

class AcquisitionCore;
class PortSearch;
class QButtonGroup;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class StatusField;
class StatusLogList;
class UserPrompts;

// The communication panel (COMpanel): where the user chooses how the computer reaches the
// monitor, finds the serial ports and picks one, opens and closes the port, sets the data
// server's TCP port and starts the server, and has the radio dongle find the monitor's node.
// It cannot be left without a link method: closing it without one ends the program.
//
// The panel holds nothing but its fields: the link method, the port numbers and the found-ports
// table belong to the program and outlive it. It deletes itself when closed.
class ComPanel final : public QWidget, public BusyIndicator {
    Q_OBJECT
public:
    struct Services {
        AcquisitionCore &core;
        PortSearch &search; // the program's one search and its table
        UserPrompts &prompts;
        std::function<void()> endProgram; // the main window's orderly end
    };

    explicit ComPanel(Services services, QWidget *parent = nullptr);

    // "List Available Ports": the search, then the numbers found in the port list.
    void listAvailablePorts();

    // The busy pointer over the panel while the radio dongle is asked.
    void setBusy(bool busy) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildMethodControls(QGridLayout &grid);
    void buildPortControls(QGridLayout &grid);
    void connectControls();
    void loadFields();

    void chooseLinkMethod(LinkMethod method);
    // The radio discovery with its lines in this panel's message list; a node found here does
    // not count as found for real time. [FindZigbeeMonitor]
    void findRadioNode(int version);
    void fillPortList();
    void selectPort(int row);
    void portNumberFieldLeft();
    void tcpPortFieldLeft();
    void openPort();
    void closePort();
    void exitPanel();
    void showPortState();

    Services s_;
    QButtonGroup *methods_ = nullptr;
    QRadioButton *usbCable_ = nullptr;
    QRadioButton *radio1_ = nullptr;
    QRadioButton *radio2_ = nullptr;
    QPushButton *findE1_ = nullptr;
    QPushButton *findE2_ = nullptr;
    StatusLogList *messages_ = nullptr; // List2
    QPushButton *listPorts_ = nullptr;
    QTreeWidget *ports_ = nullptr;      // List1: the numbers, with what each device is
    StatusField *portNumber_ = nullptr; // Text1
    QPushButton *openPort_ = nullptr;
    QPushButton *closePort_ = nullptr;
    QLineEdit *tcpPort_ = nullptr;      // Text2
    QPushButton *startServer_ = nullptr;
    QPushButton *exit_ = nullptr;
    bool ending_ = false;
};

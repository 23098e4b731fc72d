#include "com_panel.h"

#include "acquisition_core.h"
#include "port_search.h"
#include "radio_discovery.h"
#include "status_field.h"
#include "status_log_list.h"
#include "user_prompts.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTreeWidget>

#include <cmath>

namespace {

// The option buttons in their order, and the link method each stands for.
constexpr LinkMethod kMethods[] = {LinkMethod::UsbCable, LinkMethod::RadioDongleV1,
                                   LinkMethod::RadioDongleV2};

// A numeric entry field's value: leading blanks skipped, reading stops at the first character
// that cannot continue a number, no number gives 0; rounded to the nearest integer.
qint64 fieldValue(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)"));
    const auto match = number.match(text);
    if (!match.hasMatch())
        return 0;
    const double v = match.captured(1).toDouble();
    return std::isfinite(v) && std::fabs(v) < 1e15 ? qint64(std::llround(v)) : -1;
}

// The panel's message list as the radio discovery's status lines; lines go nowhere once the
// panel has gone during the discovery's waits.
class PanelLines final : public StatusLines {
public:
    explicit PanelLines(StatusLogList *list) : list_(list) {}
    void addLine(const QString &line) override
    {
        if (list_)
            list_->addLine(line);
    }
    void clear() override
    {
        if (list_)
            list_->clear();
    }

private:
    QPointer<StatusLogList> list_;
};

} // namespace

ComPanel::ComPanel(Services services, QWidget *parent) : QWidget(parent, Qt::Window), s_(services)
{
    setObjectName(QStringLiteral("COMpanel"));
    setWindowTitle(QStringLiteral("Communication"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    connectControls();
    loadFields();
}

void ComPanel::connectControls()
{
    connect(methods_, &QButtonGroup::idClicked, this,
            [this](int id) { chooseLinkMethod(kMethods[id]); });
    connect(findE1_, &QPushButton::clicked, this, [this] { findRadioNode(1); });
    connect(findE2_, &QPushButton::clicked, this, [this] { findRadioNode(2); });
    connect(listPorts_, &QPushButton::clicked, this, &ComPanel::listAvailablePorts);
    connect(ports_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { selectPort(ports_->indexOfTopLevelItem(item)); });
    connect(portNumber_, &QLineEdit::editingFinished, this, &ComPanel::portNumberFieldLeft);
    connect(tcpPort_, &QLineEdit::editingFinished, this, &ComPanel::tcpPortFieldLeft);
    connect(openPort_, &QPushButton::clicked, this, &ComPanel::openPort);
    connect(closePort_, &QPushButton::clicked, this, &ComPanel::closePort);
    connect(startServer_, &QPushButton::clicked, this, [this] { s_.core.server().open(); });
    connect(exit_, &QPushButton::clicked, this, &ComPanel::exitPanel);
    MonitorLink &link = s_.core.link();
    connect(&link, &MonitorLink::portOpened, this, &ComPanel::showPortState);
    connect(&link, &MonitorLink::portClosed, this, &ComPanel::showPortState);
}

void ComPanel::loadFields()
{
    showPortState();
    tcpPort_->setText(QString::number(s_.core.settings().tcpPort));
    const auto method = LinkMethod(s_.core.settings().linkMethod);
    // Until a method is chosen neither radio search is offered.
    findE1_->setEnabled(false);
    findE2_->setEnabled(false);
    for (int id = 0; id < 3; ++id) {
        if (kMethods[id] == method) {
            methods_->button(id)->setChecked(true);
            chooseLinkMethod(method);
        }
    }
    s_.core.storeSetting(QStringLiteral("ZigbeeVersion"),
                         QString::number(s_.core.settings().linkMethod));
}

void ComPanel::showPortState()
{
    MonitorLink &link = s_.core.link();
    const QString number = QString::number(link.portNumber());
    // An open port cannot take another number: the field is for reading until it is closed.
    const bool open = link.port().isOpen();
    if (open)
        portNumber_->showGood(number);
    else
        portNumber_->showStopped(number);
    portNumber_->setReadOnly(open);
}

void ComPanel::chooseLinkMethod(LinkMethod method)
{
    s_.core.settings().linkMethod = quint8(method);
    s_.core.realTime().setLinkMethod(method);
    findE1_->setEnabled(method == LinkMethod::RadioDongleV1);
    findE2_->setEnabled(method == LinkMethod::RadioDongleV2);
}

void ComPanel::findRadioNode(int version)
{
    // A discovery of its own: the node it finds does not spare real time its discovery.
    PanelLines lines(messages_);
    RadioDiscovery discovery(s_.core.link(), lines, Reporter<BusyIndicator>(this));
    discovery.discoverRadioNode(version);
}

void ComPanel::setBusy(bool busy)
{
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void ComPanel::listAvailablePorts()
{
    const QPointer<ComPanel> self(this);
    const PortSearch::Outcome outcome = s_.search.searchPorts();
    if (!self || outcome == PortSearch::Outcome::Gone)
        return;
    if (outcome == PortSearch::Outcome::TableFull) {
        s_.prompts.message(QStringLiteral("FindPort Error"));
        if (!self)
            return;
    }
    ports_->clear();
    if (s_.search.foundPorts().isEmpty()) {
        fillPortList(); // what exists but may not be opened, with the hint
        s_.prompts.message(QStringLiteral("No COM Port Found"));
        return;
    }
    messages_->clear();
    messages_->addLine(QStringLiteral("Click the port number to select"));
    fillPortList();
}

void ComPanel::fillPortList()
{
    for (const int n : s_.search.foundPorts()) {
        const QString detail = s_.search.describePort(n);
        auto *row = new QTreeWidgetItem(ports_, {QString::number(n), detail});
        row->setToolTip(0, detail);
        row->setToolTip(1, detail);
    }
    for (const DeniedPort &denied : s_.search.deniedPorts()) {
        const QString hint = PortSearch::permissionHint(denied.device);
        auto *row = new QTreeWidgetItem(ports_, {QString::number(denied.number), hint});
        row->setToolTip(0, hint);
        row->setToolTip(1, hint);
        row->setForeground(1, QColor(Qt::darkRed));
    }
}

void ComPanel::selectPort(int row)
{
    const QList<int> &found = s_.search.foundPorts();
    const QList<DeniedPort> &denied = s_.search.deniedPorts();
    if (row < 0 || row >= found.size() + denied.size())
        return;
    const int n = row < found.size() ? found[row] : denied[row - found.size()].number;
    s_.core.settings().comPort = qint16(n);
    s_.core.link().setPortNumber(n);
    s_.core.storeSetting(QStringLiteral("ComPort"), QString::number(n));
    showPortState();
    s_.prompts.message(QStringLiteral("Set to COM %1").arg(n));
}

void ComPanel::portNumberFieldLeft()
{
    if (portNumber_->isReadOnly())
        return;
    bool isNumber = false;
    const double v = portNumber_->text().trimmed().toDouble(&isNumber);
    if (!isNumber || !std::isfinite(v) || v < -32768.5 || v >= 32767.5)
        return;
    const int n = int(std::lround(v));
    s_.core.settings().comPort = qint16(n);
    s_.core.link().setPortNumber(n);
}

void ComPanel::tcpPortFieldLeft()
{
    // Only a value the user typed: passing through the field must not drop a client.
    if (!tcpPort_->isModified())
        return;
    tcpPort_->setModified(false);
    const qint64 port = fieldValue(tcpPort_->text());
    if (port < 1 || port > 65535) {
        tcpPort_->setText(QString::number(s_.core.settings().tcpPort));
        s_.prompts.message(QStringLiteral("TCP port must be between 1 and 65535."));
        return;
    }
    tcpPort_->setText(QString::number(port));
    s_.core.settings().tcpPort = quint16(port);
    s_.core.server().listenOn(int(port));
    s_.core.storeSetting(QStringLiteral("TCPport"), QString::number(port));
}

void ComPanel::openPort()
{
    const int n = s_.core.link().portNumber();
    if (n < 1 || n > 64) {
        s_.prompts.message(QStringLiteral("No COM port selected. Try \"Find COM Port\" utility"));
        return;
    }
    const QPointer<ComPanel> self(this);
    const bool opened = s_.core.openPortByUser();
    if (self && !opened)
        messages_->addLine(QStringLiteral("Error opening COM port"));
}

void ComPanel::closePort()
{
    // The link shows both port fields closed; the web form's field follows once it exists. The
    // user's close also tells recovery to leave the port alone.
    s_.core.closePortByUser();
}

void ComPanel::exitPanel()
{
    if (LinkMethod(s_.core.settings().linkMethod) == LinkMethod::None) {
        s_.prompts.message(QStringLiteral("Please select a communication method before exiting."));
        return;
    }
    close();
}

void ComPanel::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (ending_ || LinkMethod(s_.core.settings().linkMethod) != LinkMethod::None)
        return;
    ending_ = true;
    // The message box runs events: nothing of this panel is touched after it.
    const auto endProgram = s_.endProgram;
    s_.prompts.message(
        QStringLiteral("A communication method has not been selected. The program will now end."));
    if (endProgram)
        endProgram();
}

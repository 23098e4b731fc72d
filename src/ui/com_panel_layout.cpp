// The communication panel's controls, named as users' scripts and the tests know them.
#include "com_panel.h"

#include "status_field.h"
#include "status_log_list.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QPushButton *button(const char *name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QGroupBox *group(const QString &title, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    new QVBoxLayout(box);
    return box;
}

} // namespace

void ComPanel::buildControls()
{
    auto *grid = new QGridLayout(this);
    buildMethodControls(*grid);
    buildPortControls(*grid);
}

void ComPanel::buildMethodControls(QGridLayout &grid)
{
    QGroupBox *method = group(QStringLiteral("Communication Method"), this);
    methods_ = new QButtonGroup(this);
    const QStringList captions{QStringLiteral("USB Cable"), QStringLiteral("Zigbee Version 1"),
                               QStringLiteral("Zigbee Version 2")};
    QList<QRadioButton *> options;
    for (int i = 0; i < captions.size(); ++i) {
        auto *option = new QRadioButton(captions[i], method);
        option->setObjectName(QStringLiteral("Option2_%1").arg(i));
        methods_->addButton(option, i);
        method->layout()->addWidget(option);
        options << option;
    }
    usbCable_ = options[0];
    radio1_ = options[1];
    radio2_ = options[2];
    findE1_ = button("Command6", QStringLiteral("Find E1"), method);
    findE2_ = button("Command5", QStringLiteral("Find E2"), method);
    method->layout()->addWidget(findE1_);
    method->layout()->addWidget(findE2_);
    grid.addWidget(method, 0, 0);

    messages_ = new StatusLogList(this);
    messages_->setObjectName(QStringLiteral("List2"));
    grid.addWidget(messages_, 1, 0, 3, 1);
}

void ComPanel::buildPortControls(QGridLayout &grid)
{
    listPorts_ = button("Command3", QStringLiteral("List Available Ports"), this);
    grid.addWidget(listPorts_, 0, 1);
    auto *heading = new QLabel(QStringLiteral("Ports  Found"), this);
    heading->setObjectName(QStringLiteral("Label1"));
    grid.addWidget(heading, 1, 1);
    ports_ = new QTreeWidget(this);
    ports_->setObjectName(QStringLiteral("List1"));
    ports_->setColumnCount(2);
    ports_->setHeaderLabels({QStringLiteral("Port"), QStringLiteral("Device")});
    ports_->setRootIsDecorated(false);
    ports_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    grid.addWidget(ports_, 2, 1, 2, 1);

    QGroupBox *com = group(QStringLiteral("COM Port"), this);
    portNumber_ = new StatusField(QStringLiteral("Text1"), com);
    portNumber_->setFocusPolicy(Qt::StrongFocus);
    com->layout()->addWidget(portNumber_);
    openPort_ = button("Command2", QStringLiteral("Open Port"), com);
    closePort_ = button("Command1", QStringLiteral("Close Port"), com);
    com->layout()->addWidget(openPort_);
    com->layout()->addWidget(closePort_);
    grid.addWidget(com, 0, 2, 2, 1);

    QGroupBox *tcp = group(QStringLiteral("Port Number"), this);
    tcpPort_ = new QLineEdit(QStringLiteral("8083"), tcp);
    tcpPort_->setObjectName(QStringLiteral("Text2"));
    tcp->layout()->addWidget(tcpPort_);
    startServer_ = button("Command7", QStringLiteral("Start Server"), tcp);
    tcp->layout()->addWidget(startServer_);
    grid.addWidget(tcp, 2, 2);

    exit_ = button("Command4", QStringLiteral("Exit"), this);
    grid.addWidget(exit_, 3, 2);
}

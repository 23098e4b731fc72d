#include "web_post_window.h"

#include "acquisition_core.h"
#include "status_field.h"
#include "user_prompts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

namespace {
constexpr int kTwipsPerPixel = 15; // 1440 twips to the inch, 96 pixels to the inch

QLineEdit *readOnlyBox(const char *name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    return box;
}
} // namespace

WebPostWindow::WebPostWindow(AcquisitionCore &core, UserPrompts &prompts, QWidget *parent)
    : QWidget(parent, Qt::Window), core_(core), prompts_(prompts)
{
    setObjectName(QStringLiteral("WebForm"));
    setWindowTitle(QStringLiteral("Send Data to Web Server"));
    resize(900, 360);
    buildFields();
    makeHeader();
    connectPoster();
    refreshTextBoxes();
}

void WebPostWindow::buildFields()
{
    auto *grid = new QGridLayout(this);
    status_ = new StatusField(QStringLiteral("Text1"), this);
    account_ = readOnlyBox("Text2", this);
    interval_ = readOnlyBox("Text3", this);
    thres1_ = readOnlyBox("Text4", this);
    thres2_ = readOnlyBox("Text5", this);
    enable_ = new QCheckBox(QStringLiteral("Enable Web Server"), this);
    enable_->setObjectName(QStringLiteral("Check1"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    auto *clear = new QPushButton(QStringLiteral("Clear List"), this);
    clear->setObjectName(QStringLiteral("Command1"));
    auto *hide = new QPushButton(QStringLiteral("Hide"), this);
    hide->setObjectName(QStringLiteral("Command2"));
    log_ = new QTableView(this);
    log_->setObjectName(QStringLiteral("ListView1"));

    grid->addWidget(status_, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Account"), this), 0, 2);
    grid->addWidget(account_, 0, 3);
    grid->addWidget(enable_, 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("Trig Interval (Sec)"), this), 1, 0);
    grid->addWidget(interval_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("CH1 Trig Power (W)"), this), 1, 2);
    grid->addWidget(thres1_, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("CH2 Trig Power (W)"), this), 1, 4);
    grid->addWidget(thres2_, 1, 5);
    grid->addWidget(progress_, 2, 0, 1, 6);
    grid->addWidget(log_, 3, 0, 1, 6);
    grid->addWidget(clear, 4, 4);
    grid->addWidget(hide, 4, 5);
    grid->setRowStretch(3, 1);

    connect(enable_, &QCheckBox::clicked, this, &WebPostWindow::enableClicked);
    connect(clear, &QPushButton::clicked, this, &WebPostWindow::clearList);
    connect(hide, &QPushButton::clicked, this, &QWidget::hide);
}

void WebPostWindow::makeHeader()
{
    log_->setModel(&core_.webPoster().log());
    log_->verticalHeader()->hide();
    log_->setSelectionBehavior(QAbstractItemView::SelectRows);
    log_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int c = 0; c < PostLogModel::kColumnCount; ++c)
        log_->setColumnWidth(c, PostLogModel::columnWidthTwips(c) / kTwipsPerPixel);
}

void WebPostWindow::connectPoster()
{
    WebPoster &poster = core_.webPoster();
    connect(&poster, &WebPoster::runStarted, this, &WebPostWindow::showStarted);
    connect(&poster, &WebPoster::progressChanged, progress_, &QProgressBar::setValue);
}

void WebPostWindow::showStarted()
{
    progress_->setValue(0);
    status_->showGood(QStringLiteral("Real-Time Data Started"));
}

void WebPostWindow::refreshTextBoxes()
{
    const AppSettings &s = core_.settings();
    if (core_.link().flags().realTimeOn)
        status_->showGood(QStringLiteral("Real-Time Data Started"));
    else
        status_->showStopped(QStringLiteral("Real-Time Data Stopped"));
    account_->setText(s.vexUser);
    interval_->setText(QString::number(s.vexThresT));
    thres1_->setText(QString::number(s.vexThres1));
    thres2_->setText(QString::number(s.vexThres2));
    enable_->setChecked(s.vexWriteEnable);
}

void WebPostWindow::showRealTimeActive(Field field)
{
    if (field == Field::WebForm)
        status_->showGood(QStringLiteral("Real-Time Data Active"));
}

void WebPostWindow::showRealTimeStopped(Field field)
{
    if (field == Field::WebForm)
        status_->showStopped(QStringLiteral("Real-Time Data Stopped"));
}

void WebPostWindow::enableClicked(bool on)
{
    core_.storeWebWriteEnable(on);
}

void WebPostWindow::clearList()
{
    if (prompts_.askYesNo(
            QStringLiteral("Are you sure you want to remove all displayed records from list?")))
        core_.webPoster().log().clear();
}

void WebPostWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    hide();
}

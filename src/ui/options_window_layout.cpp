// The options window's tabs, frames, captions and fields.
#include "acquisition_core.h"
#include "mqtt_settings_tab.h"
#include "options_window_listeners.h"
#include "options_window.h"
#include "polarity_test_tab.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

template <class W>
W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

QLabel *label(const char *text)
{
    return new QLabel(QString::fromUtf8(text));
}

} // namespace

QWidget *OptionsWindow::buildGeneralTab()
{
    auto *page = new QWidget;
    check_[0] = named(new QCheckBox(QStringLiteral("Server Listens when Program Starts")), "Check1");
    check_[1] = named(new QCheckBox(QStringLiteral("Open COM Port when Program Starts")), "Check2");
    check_[2] = named(new QCheckBox(QStringLiteral("Start Real-Time when Program Starts")), "Check3");
    check_[3] = named(new QCheckBox(QStringLiteral("Write to Web Server")), "Check4");
    check_[4] = named(new QCheckBox(QStringLiteral(
                          "Send Data to Client when Triggering Power triggering Events Occur.")),
                      "Check5");

    auto *startUp = new QGroupBox(QStringLiteral("Start Up"));
    auto *startGrid = new QGridLayout(startUp);
    for (int i = 0; i < 4; ++i)
        startGrid->addWidget(check_[i], i, 0);
    startGrid->addWidget(label("Recommended"), 1, 1);
    startGrid->addWidget(label("Not recommended."), 2, 1);

    auto *cost = new QGroupBox(QStringLiteral("Cost of Electricity"));
    auto *costRow = new QHBoxLayout(cost);
    rate_ = named(new QLineEdit, "Text7");
    costRow->addWidget(rate_);
    costRow->addWidget(label("per Kilowatt-Hour (KWh)"));

    auto *triggers = new QGroupBox(QStringLiteral("Trigger Values"));
    auto *trigGrid = new QGridLayout(triggers);
    interval_ = named(new QLineEdit, "Text3");
    thres1_ = named(new QLineEdit, "Text4");
    thres2_ = named(new QLineEdit, "Text5");
    trigGrid->addWidget(label("Write Interval:"), 0, 0);
    trigGrid->addWidget(interval_, 0, 1);
    trigGrid->addWidget(label("Second"), 0, 2);
    trigGrid->addWidget(label("CH1 Power Change:"), 1, 0);
    trigGrid->addWidget(thres1_, 1, 1);
    trigGrid->addWidget(label("CH2 Power Change:"), 2, 0);
    trigGrid->addWidget(thres2_, 2, 1);

    auto *column = new QVBoxLayout(page);
    column->addWidget(startUp);
    column->addWidget(cost);
    column->addWidget(check_[4]);
    column->addWidget(triggers);
    column->addStretch();
    return page;
}

QWidget *OptionsWindow::buildWebServerTab()
{
    auto *page = new QWidget;
    auto *account = new QGroupBox(QStringLiteral("Account"));
    auto *accGrid = new QGridLayout(account);
    account_ = named(new QLineEdit, "Text1");
    webHost_ = named(new QLineEdit, "WebHost");
    address_ = named(new QLineEdit, "Text6");
    address_->setReadOnly(true);
    accGrid->addWidget(label("User Account:"), 0, 0);
    accGrid->addWidget(account_, 0, 1);
    accGrid->addWidget(label("Web Host:"), 1, 0);
    accGrid->addWidget(webHost_, 1, 1);
    accGrid->addWidget(address_, 2, 0, 1, 2);

    // "Staus" is kept as users know it: see docs/compatibility.md
    auto *loads = new QGroupBox(QStringLiteral("Web Load Staus"));
    auto *loadRow = new QHBoxLayout(loads);
    loadNumber_ = named(new QLineEdit(QStringLiteral("1")), "Text10");
    auto *on = named(new QPushButton(QStringLiteral("ON")), "Command6");
    auto *off = named(new QPushButton(QStringLiteral("Off")), "Command7");
    loadRow->addWidget(label("Load Number"));
    loadRow->addWidget(loadNumber_);
    loadRow->addWidget(on);
    loadRow->addWidget(off);
    connect(on, &QPushButton::clicked, this, [this] { switchLoad(true); });
    connect(off, &QPushButton::clicked, this, [this] { switchLoad(false); });

    auto *column = new QVBoxLayout(page);
    column->addWidget(account);
    column->addWidget(loads);
    column->addStretch();
    return page;
}

void OptionsWindow::buildWindow()
{
    auto *menuBar = new QMenuBar(this);
    auto *exit = menuBar->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("MnuExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    tabs_ = named(new QTabWidget, "SSTab1");
    tabs_->addTab(buildGeneralTab(), QStringLiteral("General"));
    tabs_->addTab(buildWebServerTab(), QStringLiteral("Web Server"));
    polarity_ = new PolarityTestTab(d_.core.decoder().reading(), d_.clock);
    tabs_->addTab(polarity_, QStringLiteral("Solar/Wind Systems"));
    mqtt_ = new MqttSettingsTab;
    tabs_->addTab(mqtt_, QStringLiteral("MQTT"));
    listeners_ = new ListenersTab;
    tabs_->addTab(listeners_, QStringLiteral("Listeners"));

    auto *doneButton = named(new QPushButton(QStringLiteral("Done")), "Command1");
    connect(doneButton, &QPushButton::clicked, this, &OptionsWindow::done);

    auto *column = new QVBoxLayout(this);
    column->setMenuBar(menuBar);
    column->addWidget(tabs_);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(doneButton);
    column->addLayout(bottom);
}

#include "main_window.h"

#include "acquisition_core.h"
#include "app_icon.h"
#include "com_panel.h"
#include "history_window.h"
#include "live_figures.h"
#include "live_readings_window.h"
#include "message_box_prompts.h"
#include "options_window.h"
#include "port_search.h"
#include "program_texts.h"
#include "settings_store.h"
#include "settings_text.h"
#include "setup_window.h"
#include "status_fields.h"
#include "status_log_list.h"
#include "tray_parking.h"
#include "web_post_window.h"

#include <QCloseEvent>

#include <array>
#include <QGridLayout>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr QSize kStartSize{532, 228};
} // namespace

MainWindow::MainWindow(SerialPort &port, Clock &clock, SettingsStore &store,
                       UserPrompts *prompts, QWidget *parent)
    : QMainWindow(parent), clock_(clock), store_(store)
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(ProgramTexts::windowTitle());
    setWindowIcon(programIcon());
    placeAtStart();
    // The diagnostic packet fields, the test buttons and the records list stay hidden for the
    // whole run, so they are not built; "Delete Box and Contents" empties a list that is never
    // filled.
    buildFields();
    menu_ = buildMainMenu(*menuBar());
    if (!prompts) {
        ownPrompts_ = std::make_unique<MessageBoxPrompts>(this);
        prompts = ownPrompts_.get();
    }
    prompts_ = prompts;
    tray_ = new TrayParking(*this, this);
    tray_->closeOtherWindows = [this] { closeOtherWindows(); };
    core_ = std::make_unique<AcquisitionCore>(
        port, clock, store,
        Reporters{.statusLog = statusLog_,
                  .portView = portField_,
                  .prompts = prompts_,
                  .realTimeView = realTimeField_,
                  .busy = &busy_,
                  .serverView = serverField_,
                  .openCommunicationPanel = [this] { showCommunicationPanel(); },
                  .searchForPorts = [this] { showCommunicationPanel().listAvailablePorts(); }});
    portSearch_ = new PortSearch(core_->link(), &busy_, this);
    liveFigures_ = std::make_unique<LiveFigures>(clock, store);
    connectLiveFigures();
    connectMenu();
    connect(&core_->webPoster(), &WebPoster::requestSent, requestBox_,
            [this](const QByteArray &request) {
                requestBox_->setPlainText(QString::fromUtf8(request));
            });
}

MainWindow::~MainWindow()
{
    delete optionsWindow_; // it works on the core
    delete historyWindow_; // it reads the core's record
    core_.reset();
    delete liveWindow_; // before the figures it shows
}

void MainWindow::connectLiveFigures()
{
    // A listener beside the decoder's single seam, which web posting uses.
    core_->decoder().addDecodedListener([this] {
        liveFigures_->setRate(core_->settings().rate);
        liveFigures_->take(core_->decoder().reading());
    });
    connect(core_.get(), &AcquisitionCore::preResetValuesCleared, this,
            [this] { liveFigures_->restartDay(); });
}

namespace {
// Whether "Live Readings" was open when the program last ended; kept as the user opens or
// closes it, and saved with the other settings.
const QString kLiveReadingsShown = QStringLiteral("LiveReadingsShown");
// The chart's span in minutes: 15, 60 or 1440.
const QString kLiveReadingsSpan = QStringLiteral("LiveReadingsSpan");
constexpr std::array<qint64, 3> kSpanMinutes{15, 60, 1440};
} // namespace

void MainWindow::openLiveReadings(bool remember)
{
    if (!liveWindow_) {
        liveWindow_ = new LiveReadingsWindow(*liveFigures_, clock_, this);
        connect(liveWindow_, &LiveReadingsWindow::closedByUser, this, [this] {
            store_.setValue(kLiveReadingsShown, SettingsText::fromBool(false));
        });
        const std::optional<QString> minutes = store_.value(kLiveReadingsSpan);
        for (std::size_t i = 0; minutes && i < kSpanMinutes.size(); ++i)
            if (SettingsText::toInteger(*minutes, 0, 1440) == kSpanMinutes[i])
                liveWindow_->setSpan(HistorySpan(i));
        connect(liveWindow_, &LiveReadingsWindow::spanChanged, this, [this](HistorySpan span) {
            store_.setValue(kLiveReadingsSpan,
                            SettingsText::fromInteger(kSpanMinutes[std::size_t(span)]));
        });
        // Below the main window, where it does not hide the status fields.
        liveWindow_->move(frameGeometry().bottomLeft() + QPoint(0, 8));
    }
    if (remember)
        store_.setValue(kLiveReadingsShown, SettingsText::fromBool(true));
    liveWindow_->showNormal();
    liveWindow_->raise();
    liveWindow_->activateWindow();
}

void MainWindow::openHistory()
{
    // The tariff's flat rate is the Rate of the options window, as it is now.
    Tariff tariff = core_->history().tariff();
    tariff.setFlatRate(core_->settings().rate);
    if (!historyWindow_) {
        historyWindow_ = new HistoryWindow(core_->history().store(), core_->history().node(),
                                           tariff, clock_, this);
        historyWindow_->move(frameGeometry().topRight() + QPoint(8, 0));
    } else {
        historyWindow_->setTariff(tariff);
    }
    historyWindow_->showNormal();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

void MainWindow::buildFields()
{
    auto *central = new QWidget(this);
    auto *grid = new QGridLayout(central);
    statusLog_ = new StatusLogList(central);
    portField_ = new PortStatusField(central);
    realTimeField_ = new RealTimeStatusField(central);
    serverField_ = new ServerStatusField(this, central);
    deleteBox_ = new QPushButton(QStringLiteral("Delete Box and Contents"), central);
    deleteBox_->setObjectName(QStringLiteral("Command1"));
    grid->addWidget(statusLog_, 0, 0, 4, 1);
    grid->addWidget(portField_, 0, 1);
    grid->addWidget(realTimeField_, 1, 1);
    grid->addWidget(serverField_, 2, 1);
    grid->addWidget(deleteBox_, 3, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    setCentralWidget(central);
    requestBox_ = new QPlainTextEdit(central);
    requestBox_->setObjectName(QStringLiteral("Text11"));
    requestBox_->setReadOnly(true);
    requestBox_->hide();
    connect(deleteBox_, &QPushButton::clicked, this, &MainWindow::deleteBoxAndContents);
}

void MainWindow::connectMenu()
{
    connect(menu_.exit, &QAction::triggered, this, &QWidget::close);
    connect(menu_.communicationPanel, &QAction::triggered, this,
            [this] { showCommunicationPanel(); });
    connect(menu_.openComPort, &QAction::triggered, this, [this] { core_->openPortByUser(); });
    connect(menu_.closeComPort, &QAction::triggered, this, &MainWindow::closeComPort);
    connect(menu_.startRealTime, &QAction::triggered, this,
            [this] { core_->startRealTimeByUser(); });
    connect(menu_.stopRealTime, &QAction::triggered, this,
            [this] { core_->stopRealTimeByUser(); });
    connect(menu_.openSocket, &QAction::triggered, this, [this] { core_->server().open(); });
    connect(menu_.closeSocket, &QAction::triggered, this, [this] { core_->server().close(); });
    connect(menu_.writeToWeb, &QAction::triggered, this, [this] {
        webPostWindow().show();
        webPostWindow().raise();
    });
    connect(menu_.about, &QAction::triggered, this, &MainWindow::showAbout);
    connect(menu_.utility, &QAction::triggered, this, &MainWindow::openSetupWindow);
    connect(menu_.options, &QAction::triggered, this, &MainWindow::openOptionsWindow);
    connect(menu_.liveReadings, &QAction::triggered, this, [this] { openLiveReadings(); });
    connect(menu_.history, &QAction::triggered, this, &MainWindow::openHistory);
}

ComPanel &MainWindow::showCommunicationPanel()
{
    if (!panel_) {
        panel_ = new ComPanel({*core_, *portSearch_, *prompts_, [this] { close(); }}, this);
        // The user is choosing a port: recovery leaves the ports alone until the panel closes,
        // then follows the port the user chose.
        core_->recovery().waitWhileOpen(panel_);
    }
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
    return *panel_;
}

WebPostWindow &MainWindow::webPostWindow()
{
    if (!webPostWindow_) {
        webPostWindow_ = new WebPostWindow(*core_, *prompts_, this);
        realTimeField_->setWebForm(webPostWindow_);
    }
    return *webPostWindow_;
}

void MainWindow::placeAtStart()
{
    const QScreen *where = screen();
    move(where ? where->availableGeometry().topLeft() : QPoint(0, 0));
    resize(kStartSize);
}

void MainWindow::start()
{
    realTimeField_->showRealTimeStopped(RealTimeStatusView::Field::MainWindow);
    serverField_->showServerClosed();
    core_->prepare(); // settings read, port closed and shown closed, watchdog and save running
    liveFigures_->setTariff(core_->history().tariff());
    show();
    emit windowShown();
    if (shutDown_) // asked to end while the window was coming up
        return;
    const std::optional<QString> liveShown = store_.value(kLiveReadingsShown);
    if (liveShown && SettingsText::toBool(*liveShown).value_or(false))
        openLiveReadings(false);
    core_->startAutomaticActions();
    // "Write to Web Server" at start-up: the box is ticked again, which stores it, and the web
    // posting window is loaded (not shown).
    if (core_->settings().startupServerIsOn) {
        core_->setStartupOption(AcquisitionCore::StartupOption::WebServer, true);
        webPostWindow();
    }
    tray_->prepare();
}

void MainWindow::shutDown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    core_->shutDown(); // port closed, server closed with its pause, settings written
    tray_->removeIcon();
    emit shutDownFinished();
}

bool MainWindow::finalSaveSucceeded() const
{
    return core_->finalSaveSucceeded();
}

void MainWindow::closeComPort()
{
    // A closed port shows "COM Port is Closed", and the web form real time stopped; the user's
    // close also tells recovery to leave the port alone.
    core_->closePortByUser();
    realTimeField_->showRealTimeStopped(RealTimeStatusView::Field::WebForm);
}

void MainWindow::deleteBoxAndContents()
{
    placeAtStart();
}

void MainWindow::showAbout()
{
    prompts_->message(ProgramTexts::aboutText());
}

SetupWindow *MainWindow::setupWindow() const
{
    return setupWindow_;
}

void MainWindow::openSetupWindow()
{
    if (!setupWindow_)
        setupWindow_ = new SetupWindow(*core_, this);
    setupWindow_->show();
    setupWindow_->raise();
    setupWindow_->activateWindow();
}

OptionsWindow *MainWindow::optionsWindow() const
{
    return optionsWindow_;
}

void MainWindow::openOptionsWindow()
{
    if (!optionsWindow_) {
        optionsWindow_ = new OptionsWindow(
            {*core_, store_, *prompts_, clock_, [this] { webPostWindow().refreshTextBoxes(); }}, this);
    }
    optionsWindow_->show();
    optionsWindow_->raise();
    optionsWindow_->activateWindow();
}

void MainWindow::closeOtherWindows()
{
    // Closing destroys the window; an operation of it that is waiting finishes without it.
    if (setupWindow_ && !setupWindow_->isMaximized())
        setupWindow_->close();
    if (optionsWindow_ && !optionsWindow_->isMaximized())
        optionsWindow_->close();
    // A panel without a link method stays: closing it would end the program.
    if (panel_ && !panel_->isMaximized() && core_->settings().linkMethod != 0)
        panel_->close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    shutDown();
    event->accept();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        tray_->windowMinimized();
}

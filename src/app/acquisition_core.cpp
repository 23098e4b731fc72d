#include "acquisition_core.h"

#include "app_logging.h"
#include "port_names.h"
#include "settings_store.h"
#include "settings_text.h"

#include <cstdio>

AcquisitionCore::AcquisitionCore(SerialPort &port, Clock &clock, SettingsStore &store,
                                 Reporters r, QObject *parent)
    : QObject(parent),
      port_(port),
      store_(store),
      reporters_(r),
      quiet_(r),
      routed_(quiet_.routed()),
      statusLog_(routed_.statusLog),
      link_(port, clock, routed_, this),
      decoder_(statusLog_, clock),
      receiver_(port, clock, link_.flags(), decoder_, statusLog_, this),
      monitorCommands_(setupContext()),
      interpreter_(decoder_.reading(), loads_, loadSwitch_, monitorCommands_, routed_.prompts, this),
      server_(clock, link_.flags(), interpreter_, r.serverView, this),
      discovery_(link_, statusLog_, routed_.busy, this),
      control_(link_, discovery_, &server_, routed_, this),
      watchdog_(clock, link_.flags(), control_, r.realTimeView, &server_, this),
      autoStart_(clock, link_, discovery_, control_, routed_, this),
      periodicSave_(clock, [this] { saveSettings(); }, this),
      counterKeeper_(clock, statusLog_, [this] { return decoder_.persistedState(); }, this),
      mqtt_(clock, routed_.statusLog, this),
      recovery_(clock, link_, quiet_, this),
      webPoster_(decoder_.reading(), clock, link_.flags(), loadSwitch_, this),
      http_(clock, routed_.statusLog, httpSources(), this),
      history_(clock, decoder_, routed_.statusLog, this)
{
    link_.setRealTimeSequences(&control_);
    decoder_.onPacketByte = [this] {
        watchdog_.packetByteSeen();
        recovery_.packetByteSeen();
    };
    decoder_.onPacketDecoded = [this] { webPoster_.packetDecoded(); };
    decoder_.addDecodedListener([this] { mqtt_.publishReading(decoder_.reading()); });
    decoder_.addDecodedListener([this] { http_.packetDecoded(decoder_.reading()); });
    decoder_.addDecodedListener([this] { history_.packetDecoded(); });
    webPoster_.settings = [this] { return webPostingSettings(); };
    webPoster_.pushReadings = [this] { server_.pushReadings(); };
    receiver_.setPortReopener([this] { reopenPortQuietly(); });
    if (!store.location().isEmpty())
        counterKeeper_.setFile(CounterStateFile::pathBeside(store.location()));
    recovery_.setAutoStart(&autoStart_);
    // A sequence that lets go of the port leaves the stream's first bytes in the buffer; they
    // are taken from the event loop, once the sequence has returned.
    connect(&control_, &RealTimeControl::portReleased, &receiver_, &PacketReceiver::drain,
            Qt::QueuedConnection);
    connect(&interpreter_, &CommandInterpreter::loadDataChanged, this,
            [this](quint16 mask) { settings_.loadData = mask; });
    connect(&server_, &DataServer::autoWriteLocalChanged, this,
            &AcquisitionCore::storeAutoWriteLocal);
    wireMqttHomeAssistant();
}

void AcquisitionCore::wireMqttHomeAssistant()
{
    mqtt_.setSources(MqttSources{
        .linkUp = [this] { return link_.flags().realTimeOn; },
        .checksumErrors = [this] { return quint64(decoder_.checksumErrorCount()); },
        .suspectDropped = [this] { return quint64(decoder_.suspectDroppedCount()); },
        .loadIsOn = [this](int load) { return loads_.isOn(load); },
    });
    loads_.onChanged = [this](int load, bool on) { mqtt_.loadChanged(load, on); };
    // A switch in Home Assistant is a load button of the options window.
    connect(&mqtt_, &MqttPublisher::loadCommand, this,
            [this](int load, bool on) { switchLoadByUser(load, on); });
}

SetupContext AcquisitionCore::setupContext()
{
    return SetupContext{&link_, &setupLog_, routed_};
}

AcquisitionCore::~AcquisitionCore() = default;

void AcquisitionCore::applySettings()
{
    link_.setPortNumber(settings_.comPort);
    control_.setLinkMethod(LinkMethod(settings_.linkMethod));
    control_.setStartupListen(settings_.startupListen);
    server_.setPort(settings_.tcpPort);
    server_.setStartupListen(settings_.startupListen);
    server_.setAutoWriteLocal(settings_.autoWriteLocal != 0);
    decoder_.restoreState(settings_.counters);
    recovery_.setEnabled(settings_.autoRecover);
    // The stored mask fills the load table and is rebuilt from it, so that it still holds the
    // stored loads for the web posts and the next shut-down.
    loads_.loadDataToBits(settings_.loadData);
    settings_.loadData = loads_.bitsToLoadData();
}

void AcquisitionCore::takeDecoderState()
{
    settings_.counters = decoder_.persistedState();
    settings_.loadData = loads_.bitsToLoadData();
}

void AcquisitionCore::prepare()
{
    settings_ = loadAppSettings(store_);
    // After a crash the state file holds later counters than the settings: they go into the
    // decoder, the starting point of everything built on the static counters.
    settings_.counters = counterKeeper_.chooseAtStart(settings_.counters,
                                                      storedCounterSequence(store_));
    qCInfo(lcApp) << "settings: port" << settings_.comPort << "link method" << settings_.linkMethod
                  << "TCP port" << settings_.tcpPort << "start port" << settings_.startupComIsOn
                  << "start real time" << settings_.startupRtlIsOn
                  << "listen" << settings_.startupListen;
    applySettings();
    readMqttSettingsFromStore();
    httpSettings_ = readHttpSettings(
        [this](const QString &key) { return store_.groupValue(httpSettingsGroup(), key); });
    mqtt_.setConfigurationUrl(httpDashboardUrlForOthers(httpSettings_));
    // A file that holds the API's token is for its owner's eyes only, as one with a password.
    if (!httpSettings_.token.isEmpty() && !store_.restrictToOwner())
        statusLog_.addLine(QStringLiteral("Error: cannot make %1 readable by its owner only")
                               .arg(store_.location()));
    applyDataServerSettings(readDataServerSettings([this](const QString &key) { return store_.value(key); }));
    if (const auto refused = refusedTcpPort(store_))
        statusLog_.addLine(QStringLiteral("The stored TCP port \"%1\" is not between 1 and 65535; "
                                          "the server uses port %2.")
                               .arg(printableSettingText(*refused))
                               .arg(settings_.tcpPort));
    if (const auto refused = refusedWebHost(settings_))
        statusLog_.addLine(QStringLiteral("The stored web host \"%1\" is not a host name or "
                                          "name:port; nothing is posted to it.")
                               .arg(printableSettingText(*refused)));
    history_.start([this](const QString &group, const QString &key) {
        return store_.groupValue(group, key);
    }, store_.location(), settings_.rate);
    http_.setRecord(history_.store(), history_.node(), history_.tariff());
    if (history_.holdsPassword() && !store_.restrictToOwner())
        statusLog_.addLine(QStringLiteral("Error: cannot make %1 readable by its owner only")
                               .arg(store_.location()));
    link_.closePort();
    watchdog_.start();
    periodicSave_.start();
    counterKeeper_.start();
    recovery_.start();
}

void AcquisitionCore::startAutomaticActions()
{
    // The question after a failed open runs events: the program may have ended meanwhile.
    const bool portOpened = settings_.startupComIsOn && link_.openPort();
    if (shutDown_)
        return;
    if (settings_.startupRtlIsOn)
        autoStart_.arm();
    // What start-up asked for and could not do yet, recovery goes on doing quietly. Real time
    // without a link method would need the user, so it is left to the automatic start.
    recovery_.restoreAtStart(settings_.startupComIsOn && !portOpened,
                             settings_.startupRtlIsOn && settings_.linkMethod != 0);
    if (mqttSettings_.enabled)
        mqtt_.start(mqttSettings_);
    http_.apply(httpSettings_);
}

HttpSources AcquisitionCore::httpSources()
{
    return HttpSources{
        .linkUp = [this] { return link_.flags().realTimeOn; },
        .mqttConnected = [this] { return mqtt_.state() == MqttPublisher::State::Connected; },
        .checksumErrors = [this] { return quint64(decoder_.checksumErrorCount()); },
        .suspectDropped = [this] { return quint64(decoder_.suspectDroppedCount()); },
        .historyWriteFailures = [this]() -> std::optional<quint64> {
            return history_.running() ? std::optional(history_.writeFailures()) : std::nullopt;
        },
    };
}

void AcquisitionCore::applyDataServerSettings(const DataServerSettings &settings)
{
    dataServerSettings_ = settings;
    interpreter_.setReadOnly(settings.readOnly);
    QString problem;
    server_.setListenAddress(dataServerAddress(settings.listenAddress, &problem));
    if (!problem.isEmpty())
        statusLog_.addLine(problem);
}

void AcquisitionCore::storeDataServerSettings(const DataServerSettings &settings)
{
    writeDataServerSettings(settings, [this](const QString &key, const QString &text) {
        store_.setValue(key, text);
    });
    reportSave(store_.sync());
    applyDataServerSettings(settings);
    if (!server_.isServerClosed())
        server_.listenOn(int(settings_.tcpPort));
}

void AcquisitionCore::applyHttpSettings(const HttpSettings &settings)
{
    httpSettings_ = settings;
    http_.apply(settings);
    mqtt_.setConfigurationUrl(httpDashboardUrlForOthers(settings));
}

void AcquisitionCore::readMqttSettingsFromStore()
{
    QStringList faults;
    mqttSettings_ = readMqttSettings(
        [this](const QString &key) { return store_.groupValue(mqttSettingsGroup(), key); }, &faults);
    for (const QString &fault : faults)
        statusLog_.addLine(QStringLiteral("MQTT: ") + fault);
    // A file that holds a password is for its owner's eyes only.
    if (!mqttSettings_.password.isEmpty() && !store_.restrictToOwner())
        statusLog_.addLine(QStringLiteral("Error: cannot make %1 readable by its owner only")
                               .arg(store_.location()));
}

bool AcquisitionCore::saveSettings()
{
    takeDecoderState();
    stampStoredCounters(store_, counterKeeper_.nextSequence());
    return reportSave(storeSettings(settings_, store_));
}

void AcquisitionCore::clearPreResetValues()
{
    decoder_.clearPreResets();
    history_.preResetValuesCleared();
    takeDecoderState();
    emit preResetValuesCleared();
}

bool AcquisitionCore::reportSave(bool saved)
{
    // The counters exist nowhere else: a save that failed must be seen. Standard error hears of
    // every failure; the status log of each change, so a lasting fault does not flood it.
    const QString where = store_.location().isEmpty() ? QStringLiteral("the settings store")
                                                      : store_.location();
    if (!saved) {
        const QString line = QStringLiteral("Error: the settings could not be saved to %1").arg(where);
        std::fprintf(stderr, "orvotove: %s\n", qPrintable(line));
        if (!saveFailing_)
            statusLog_.addLine(line);
    } else if (saveFailing_) {
        statusLog_.addLine(QStringLiteral("The settings were saved to %1 again").arg(where));
    }
    saveFailing_ = !saved;
    return saved;
}

void AcquisitionCore::shutDown()
{
    if (shutDown_)
        return; // several ways lead here (window, menu, signals); the counters are written once
    shutDown_ = true;
    qCInfo(lcApp) << "shutting down: port and server closed, counters stored";
    // An exchange with the monitor interrupted by this end stops waiting when it resumes.
    endRequest_.request();
    recovery_.setEnabled(false); // the port closed by the end stays closed
    link_.closePort();
    server_.shutDown();
    http_.stop();
    mqtt_.shutDown();
    history_.flush();
    takeDecoderState();
    // The state file first: it then holds the counters should the settings file fail, and the
    // settings file, written after it, is the one read at the next start.
    counterKeeper_.stop();
    counterKeeper_.keepNow();
    stampStoredCounters(store_, counterKeeper_.nextSequence());
    saveFailing_ = false; // the last word on a failed save goes to the log whatever came before
    finalSaveSucceeded_ = reportSave(saveSettingsAtShutdown(settings_, store_));
}

bool AcquisitionCore::openPortByUser()
{
    recovery_.userOpenedPort();
    return link_.openPort();
}

void AcquisitionCore::closePortByUser()
{
    recovery_.userClosedPort();
    if (port_.isOpen())
        link_.closePort();
}

void AcquisitionCore::startRealTimeByUser()
{
    recovery_.userStartedRealTime();
    control_.startRealTime();
}

void AcquisitionCore::stopRealTimeByUser()
{
    recovery_.userStoppedRealTime();
    control_.stopRealTime();
}

void AcquisitionCore::storeAutoWriteLocal(bool on)
{
    // A client's TRIGON/TRIGOFF is stored at once, as ticking the options box would.
    settings_.autoWriteLocal = on ? 1 : 0;
    store_.setValue(QStringLiteral("AutoWriteLocal"), QString::number(settings_.autoWriteLocal));
    reportSave(store_.sync());
}

bool AcquisitionCore::storeSetting(const QString &key, const QString &text)
{
    store_.setValue(key, text);
    return reportSave(store_.sync());
}

WebPostingSettings AcquisitionCore::webPostingSettings() const
{
    return WebPostingSettings{
        .thresholds = {.intervalSeconds = settings_.vexThresT,
                       .watts1 = settings_.vexThres1,
                       .watts2 = settings_.vexThres2},
        .writeEnable = settings_.vexWriteEnable,
        .request = {.webHost = settings_.webHost, .account = settings_.vexUser},
        .loadData = settings_.loadData,
    };
}

void AcquisitionCore::storeWebWriteEnable(bool on)
{
    settings_.vexWriteEnable = on;
    store_.setValue(QStringLiteral("VexWriteEnable"), SettingsText::fromBool(on));
    reportSave(store_.sync());
}

void AcquisitionCore::setStartupOption(StartupOption option, bool on)
{
    QString key;
    switch (option) {
    case StartupOption::Listen:
        settings_.startupListen = on;
        control_.setStartupListen(on);
        server_.setStartupListen(on);
        key = QStringLiteral("StartupListen");
        break;
    case StartupOption::ComPort:
        settings_.startupComIsOn = on;
        key = QStringLiteral("StartupComIsOn");
        break;
    case StartupOption::RealTime:
        settings_.startupRtlIsOn = on;
        key = QStringLiteral("StartupRTLisOn");
        break;
    case StartupOption::WebServer:
        settings_.startupServerIsOn = on;
        key = QStringLiteral("StartupServerIsOn");
        break;
    }
    storeSetting(key, SettingsText::fromBool(on));
}

void AcquisitionCore::setAutoWriteLocalByUser(bool on)
{
    server_.setAutoWriteLocal(on);
    storeAutoWriteLocal(on);
}

bool AcquisitionCore::switchLoadByUser(int load, bool on)
{
    if (!loads_.set(load, on))
        return false;
    settings_.loadData = loads_.bitsToLoadData();
    loadSwitch_.triggerSource += QStringLiteral("Load Change");
    // A user who turned posting off expects no connection; the new LoadData goes out with the
    // next post once posting is on again.
    if (settings_.vexWriteEnable)
        webPoster_.postNow();
    return true;
}

void AcquisitionCore::applyMqttSettings(const MqttSettings &settings)
{
    mqttSettings_ = settings;
    mqtt_.start(settings);
}

void AcquisitionCore::reopenPortQuietly()
{
    // A runaway packet: start the line afresh without messages, pauses or settings changes.
    qCInfo(lcApp) << "reopening port" << link_.portNumber() << "quietly";
    port_.close();
    port_.open(PortNames::deviceForPort(link_.portNumber()));
}

#include "acquisition_core.h"

#include "app_logging.h"
#include "port_names.h"
#include "settings_store.h"

#include <cstdio>

AcquisitionCore::AcquisitionCore(SerialPort &port, Clock &clock, SettingsStore &store,
                                 Reporters r, QObject *parent)
    : QObject(parent),
      port_(port),
      store_(store),
      reporters_(r),
      statusLog_(r.statusLog),
      link_(port, clock, r, this),
      decoder_(statusLog_, clock),
      receiver_(port, clock, link_.flags(), decoder_, statusLog_, this),
      monitorCommands_(setupContext()),
      interpreter_(decoder_.reading(), loads_, loadSwitch_, monitorCommands_, r.prompts, this),
      server_(clock, link_.flags(), interpreter_, r.serverView, this),
      discovery_(link_, statusLog_, r.busy, this),
      control_(link_, discovery_, &server_, r, this),
      watchdog_(clock, link_.flags(), control_, r.realTimeView, &server_, this),
      autoStart_(clock, link_, discovery_, control_, r, this),
      periodicSave_(clock, [this] { saveSettings(); }, this)
{
    link_.setRealTimeSequences(&control_);
    decoder_.onPacketByte = [this] { watchdog_.packetByteSeen(); };
    receiver_.setPortReopener([this] { reopenPortQuietly(); });
    // A sequence that lets go of the port leaves the stream's first bytes in the buffer; they
    // are taken from the event loop, once the sequence has returned.
    connect(&control_, &RealTimeControl::portReleased, &receiver_, &PacketReceiver::drain,
            Qt::QueuedConnection);
    connect(&interpreter_, &CommandInterpreter::loadDataChanged, this,
            [this](quint16 mask) { settings_.loadData = mask; });
    connect(&server_, &DataServer::autoWriteLocalChanged, this,
            &AcquisitionCore::storeAutoWriteLocal);
}

SetupContext AcquisitionCore::setupContext()
{
    return SetupContext{&link_, &setupLog_, reporters_};
}

AcquisitionCore::~AcquisitionCore() = default;

void AcquisitionCore::applySettings()
{
    link_.setPortNumber(settings_.comPort);
    control_.setLinkMethod(LinkMethod(settings_.linkMethod));
    control_.setStartupListen(settings_.startupListen);
    // The port is kept as a signed 16-bit number; read as unsigned it reaches every TCP port.
    server_.setPort(quint16(settings_.tcpPort));
    server_.setStartupListen(settings_.startupListen);
    server_.setAutoWriteLocal(settings_.autoWriteLocal != 0);
    decoder_.restoreState(settings_.counters);
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
    qCInfo(lcApp) << "settings: port" << settings_.comPort << "link method" << settings_.linkMethod
                  << "TCP port" << settings_.tcpPort << "start port" << settings_.startupComIsOn
                  << "start real time" << settings_.startupRtlIsOn
                  << "listen" << settings_.startupListen;
    applySettings();
    link_.closePort();
    watchdog_.start();
    periodicSave_.start();
}

void AcquisitionCore::startAutomaticActions()
{
    if (settings_.startupComIsOn)
        link_.openPort();
    if (settings_.startupRtlIsOn)
        autoStart_.arm();
}

bool AcquisitionCore::saveSettings()
{
    takeDecoderState();
    return reportSave(storeSettings(settings_, store_));
}

void AcquisitionCore::clearPreResetValues()
{
    decoder_.clearPreResets();
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
    link_.closePort();
    server_.shutDown();
    takeDecoderState();
    saveFailing_ = false; // the last word on a failed save goes to the log whatever came before
    finalSaveSucceeded_ = reportSave(saveSettingsAtShutdown(settings_, store_));
}

void AcquisitionCore::storeAutoWriteLocal(bool on)
{
    // A client's TRIGON/TRIGOFF is stored at once, as ticking the options box would.
    settings_.autoWriteLocal = on ? 1 : 0;
    store_.setValue(QStringLiteral("AutoWriteLocal"), QString::number(settings_.autoWriteLocal));
    reportSave(store_.sync());
}

void AcquisitionCore::reopenPortQuietly()
{
    // A runaway packet: start the line afresh without messages, pauses or settings changes.
    qCInfo(lcApp) << "reopening port" << link_.portNumber() << "quietly";
    port_.close();
    port_.open(PortNames::deviceForPort(link_.portNumber()));
}

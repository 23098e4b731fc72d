#include "acquisition_core.h"

#include "port_names.h"
#include "settings_store.h"

AcquisitionCore::AcquisitionCore(SerialPort &port, Clock &clock, SettingsStore &store,
                                 CoreReporters r, QObject *parent)
    : QObject(parent),
      port_(port),
      store_(store),
      statusLog_(r.statusLog ? *r.statusLog : discarded_),
      link_(port, clock, LinkReporters{r.statusLog, r.portView, r.prompts, {}}, this),
      decoder_(statusLog_, clock),
      receiver_(port, clock, link_.flags(), decoder_, statusLog_, this),
      discovery_(link_, statusLog_, r.busy, this),
      control_(link_, discovery_,
               RealTimeServices{r.statusLog, r.prompts, r.realTimeView, r.server,
                                r.openCommunicationPanel},
               this),
      watchdog_(clock, link_.flags(), control_, r.realTimeView, r.server, this),
      autoStart_(clock, link_, discovery_, control_, r.statusLog, r.prompts, this),
      periodicSave_(clock, [this] { saveSettings(); }, this)
{
    link_.setRealTimeSequences(&control_);
    decoder_.onPacketByte = [this] { watchdog_.packetByteSeen(); };
    receiver_.setPortReopener([this] { reopenPortQuietly(); });
    // A sequence that lets go of the port leaves the stream's first bytes in the buffer; they
    // are taken from the event loop, once the sequence has returned.
    connect(&control_, &RealTimeControl::portReleased, &receiver_, &PacketReceiver::drain,
            Qt::QueuedConnection);
}

AcquisitionCore::~AcquisitionCore() = default;

void AcquisitionCore::applySettings()
{
    link_.setPortNumber(settings_.comPort);
    control_.setLinkMethod(settings_.linkMethod);
    control_.setStartupListen(settings_.startupListen);
    decoder_.restoreState(settings_.counters);
    // The stored mask fills the load table and is rebuilt from it, so that it still holds the
    // stored loads for the web posts and the next shut-down.
    loads_.CvtLoadDataToBits(settings_.loadData);
    settings_.loadData = loads_.CvtBitsToLoadData();
}

void AcquisitionCore::takeDecoderState()
{
    settings_.counters = decoder_.persistedState();
    settings_.loadData = loads_.CvtBitsToLoadData();
}

void AcquisitionCore::prepare()
{
    settings_ = loadAppSettings(store_);
    applySettings();
    link_.CloseMonitorPort();
    watchdog_.start();
    periodicSave_.start();
}

void AcquisitionCore::startAutomaticActions()
{
    if (settings_.startupComIsOn)
        link_.OpenMonitorPort();
    if (settings_.startupRtlIsOn)
        autoStart_.arm();
}

void AcquisitionCore::saveSettings()
{
    takeDecoderState();
    SaveSettings(settings_, store_);
}

void AcquisitionCore::shutDown()
{
    if (shutDown_)
        return; // several ways lead here (window, menu, signals); the counters are written once
    shutDown_ = true;
    link_.CloseMonitorPort();
    takeDecoderState();
    saveSettingsAtShutdown(settings_, store_);
}

void AcquisitionCore::reopenPortQuietly()
{
    // A runaway packet: start the line afresh without messages, pauses or settings changes.
    port_.close();
    port_.open(PortNames::deviceForPort(link_.portNumber()));
}

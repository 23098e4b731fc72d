#include "setup_link.h"

#include "link_logging.h"
#include "monitor_link.h"

SetupLink::SetupLink(MonitorLink &link) : link_(&link) {}

bool SetupLink::setupHandshake()
{
    // Only locals from here on: the setup window that owns this object may be destroyed by an
    // event handled during the waits.
    const QPointer<MonitorLink> link = link_;
    if (!link)
        return false;
    if (!link->port().isOpen()) {
        link->openPort(); // the outcome is not looked at
        if (!link)
            return false;
    }
    if (!link->port().isOpen()) {
        qCInfo(lcLink) << "setup handshake: port not open";
        return false; // no acknowledge can come
    }
    return link->exchangeAttentionByte();
}

bool SetupLink::sendWord(const QByteArray &word)
{
    const QPointer<MonitorLink> link = link_;
    if (!link)
        return false;
    link->writeCommandWord(word);
    return link->waitForAckByte();
}

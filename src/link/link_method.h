#pragma once

#include <QtGlobal>

// How the program reaches the monitor, by the codes the settings store (ZigbeeVersion).
enum class LinkMethod : quint8 {
    None = 0,          // not chosen yet: real time cannot start
    RadioDongleV1 = 1, // the radio dongle, first version: node E1
    RadioDongleV2 = 2, // the radio dongle, second version: node E2
    UsbCable = 8,      // the USB cable: no node to discover
};

// True for both versions of the radio dongle.
constexpr bool isRadioDongle(LinkMethod method)
{
    return method == LinkMethod::RadioDongleV1 || method == LinkMethod::RadioDongleV2;
}

#pragma once

#include <QString>

// Which device a port number (1 to 64) names.
namespace PortNames {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 64;

// The folder of user-made links COM<n> to stable device names (and of orvo-sim's links):
// $XDG_DATA_HOME/Orvotove/ports, ~/.local/share/Orvotove/ports by default.
QString portsDirectory();

// The link COM<n> in the ports folder when it is there; otherwise the fixed table:
// 1-16 /dev/ttyUSB0-15, 17-32 /dev/ttyACM0-15, 33-64 /dev/ttyS0-31. On Windows, COM<n>.
// An empty string for a number outside 1 to 64.
QString deviceForPort(int portNumber);

} // namespace PortNames

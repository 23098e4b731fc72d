#pragma once

#include <QString>

// The texts that name the program and its version to the user.
namespace ProgramTexts {

// The version as the program shows it, trailing blank included.
inline QString versionText() { return QStringLiteral("1.04 "); }

inline QString windowTitle()
{
    return QStringLiteral("Orvo-88 Tove Download and Real-Time Software") + QStringLiteral(" Version ")
           + versionText();
}

inline QString supportAddress() { return QStringLiteral("https://support.orvo.example"); }

// The blanks before the full stops are kept as users know the text: see docs/compatibility.md
inline QString aboutText()
{
    return QStringLiteral("Orvo-88 Stayhost Software ") + versionText()
           + QStringLiteral(" . This software requires firmware version 2.200 or higher. ")
           + QStringLiteral("Firmware updates, installer software and instructions may be obtained from ")
           + supportAddress() + QStringLiteral(" .");
}

inline QString trayTip() { return QStringLiteral("Orvo-88 Stayhost"); }

} // namespace ProgramTexts

#include "main_menu.h"

#include <QMenu>
#include <QMenuBar>

namespace {

QAction *addEntry(QWidget &owner, const char *objectName, const QString &caption,
                  bool enabled = true)
{
    auto *action = new QAction(caption, &owner);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setEnabled(enabled);
    owner.addAction(action);
    return action;
}

QMenu *addSubmenu(QMenuBar &bar, const char *objectName, const QString &caption)
{
    QMenu *menu = bar.addMenu(caption);
    menu->setObjectName(QString::fromLatin1(objectName));
    menu->menuAction()->setObjectName(QString::fromLatin1(objectName));
    return menu;
}

} // namespace

MainMenu buildMainMenu(QMenuBar &bar)
{
    MainMenu m;
    m.files = addSubmenu(bar, "MnuFiles", QStringLiteral("Files"));
    // This program's own window, in a menu so that the bar keeps room for "Help".
    m.liveReadings = addEntry(*m.files, "MnuLiveReadings", QStringLiteral("Live Readings"));
    m.history = addEntry(*m.files, "MnuHistory", QStringLiteral("History"));
    m.exit = addEntry(*m.files, "MnuExit", QStringLiteral("Exit"));

    m.communication = addSubmenu(bar, "MnuCom", QStringLiteral("Communication"));
    // "OPEN" in capitals is kept as users know it: see docs/compatibility.md
    m.communicationPanel = addEntry(*m.communication, "MnuOPEN", QStringLiteral("OPEN"));
    m.openComPort = addEntry(*m.communication, "MnuOpenCom", QStringLiteral("Open COM Port"));
    m.closeComPort = addEntry(*m.communication, "MnuClosePort", QStringLiteral("Close COM Port"));
    m.startRealTime = addEntry(*m.communication, "MnuStartRTL", QStringLiteral("Start Real-Time Data"));
    m.stopRealTime = addEntry(*m.communication, "MnuStopRTL", QStringLiteral("Stop Real-Time Data"));
    m.openSocket = addEntry(*m.communication, "MnuOpenSocket", QStringLiteral("Open Socket"));
    m.closeSocket = addEntry(*m.communication, "MnuCloseSocket", QStringLiteral("Close Socket"));

    m.writeToWeb = addEntry(bar, "MnuWritetoWeb", QStringLiteral("Write To Web"));
    m.options = addEntry(bar, "MnuOptions", QStringLiteral("Options"));
    m.utility = addEntry(bar, "MnuUtil", QStringLiteral("Orvo-88 Utility"));

    m.help = addSubmenu(bar, "MnuHelp", QStringLiteral("Help"));
    m.about = addEntry(*m.help, "MnuAbout", QStringLiteral("About"));
    return m;
}

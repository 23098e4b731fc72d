#pragma once

class QAction;
class QMenu;
class QMenuBar;

// The main window's menu. Each entry's object name is its control name (MnuExit, ...).
struct MainMenu {
    QMenu *files = nullptr;
    QAction *exit = nullptr;
    QMenu *communication = nullptr;
    QAction *communicationPanel = nullptr; // "OPEN"
    QAction *openComPort = nullptr;
    QAction *closeComPort = nullptr;
    QAction *startRealTime = nullptr;
    QAction *stopRealTime = nullptr;
    QAction *openSocket = nullptr;
    QAction *closeSocket = nullptr;
    QAction *writeToWeb = nullptr;
    QAction *options = nullptr;
    QAction *utility = nullptr;
    QAction *liveReadings = nullptr; // "Live Readings": this program's own window
    QAction *history = nullptr;      // "History": the energy record
    QMenu *help = nullptr;
    QAction *about = nullptr;
};

// Fills the menu bar. The entries whose windows or server do not exist yet are disabled.
MainMenu buildMainMenu(QMenuBar &bar);

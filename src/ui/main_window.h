#pragma once

#include "busy_cursor.h"
#include "com_panel.h"
#include "main_menu.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class AcquisitionCore;
class Clock;
class PortSearch;
class HistoryWindow;
class LiveFigures;
class LiveReadingsWindow;
class OptionsWindow;
class PortStatusField;
class QPlainTextEdit;
class QPushButton;
class RealTimeStatusField;
class SerialPort;
class ServerStatusField;
class SetupWindow;
class SettingsStore;
class StatusLogList;
class TrayParking;
class UserPrompts;
class WebPostWindow;

// The main window: owns the acquisition side for the whole run, shows the state of the port,
// of the real-time stream and of the server with the status log, and runs start-up and the
// orderly end.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // Without prompts, messages and questions appear as message boxes over this window.
    MainWindow(SerialPort &port, Clock &clock, SettingsStore &store,
               UserPrompts *prompts = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up: settings read, port shown closed, window shown, then the automatic actions the
    // settings ask for. Call once.
    void start();
    // The orderly end: port closed, server closed, settings written, tray icon removed. Runs
    // once however often it is asked for; emits shutDownFinished when done.
    void shutDown();
    bool isShutDown() const { return shutDown_; }
    // False when shut-down could not write the settings.
    bool finalSaveSucceeded() const;

    // Back to the start-up place and size: top-left corner of the screen, 532 by 228 pixels.
    void placeAtStart();

    AcquisitionCore &core() { return *core_; }
    const MainMenu &menu() const { return menu_; }
    StatusLogList &statusLog() { return *statusLog_; }
    PortStatusField &portField() { return *portField_; }
    RealTimeStatusField &realTimeField() { return *realTimeField_; }
    ServerStatusField &serverField() { return *serverField_; }
    QPushButton &deleteBoxButton() { return *deleteBox_; }
    TrayParking &tray() { return *tray_; }
    // The setup window while it is open, else null.
    SetupWindow *setupWindow() const;
    // "Orvo-88 Utility": creates the setup window unless it is open, and shows it.
    void openSetupWindow();
    // Shows the communication panel, creating it when it is not open.
    ComPanel &showCommunicationPanel();
    // The communication panel while it is open, else null.
    ComPanel *communicationPanel() const { return panel_; }
    PortSearch &portSearch() { return *portSearch_; }
    // The web posting window, built when first asked for and kept for the whole run.
    WebPostWindow &webPostWindow();
    // The request box (Text11): the text of the latest web post. Hidden, like the other
    // diagnostic fields.
    QPlainTextEdit &requestBox() { return *requestBox_; }
    const LiveFigures &liveFigures() const { return *liveFigures_; }
    // "Options": creates the options window unless it is open, and shows it.
    void openOptionsWindow();
    // The options window while it is open, else null.
    OptionsWindow *optionsWindow() const;
    // "Live Readings", built when first opened; null before.
    LiveReadingsWindow *liveReadingsWindow() const { return liveWindow_; }
    // "History": creates the window unless it exists, and shows it.
    void openHistory();
    // "History", built when first opened; null before.
    HistoryWindow *historyWindow() const { return historyWindow_; }

signals:
    void windowShown();
    void shutDownFinished();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildFields();
    void connectMenu();
    void closeComPort();
    void deleteBoxAndContents();
    void showAbout();
    // The main window is being parked in the tray: the other windows close (unless maximized).
    void closeOtherWindows();
    void connectLiveFigures();
    // Opens "Live Readings"; remember: it opens again at the next start.
    void openLiveReadings(bool remember = true);

    StatusLogList *statusLog_ = nullptr;
    PortStatusField *portField_ = nullptr;
    RealTimeStatusField *realTimeField_ = nullptr;
    ServerStatusField *serverField_ = nullptr;
    QPushButton *deleteBox_ = nullptr;
    QPlainTextEdit *requestBox_ = nullptr;
    WebPostWindow *webPostWindow_ = nullptr;
    MainMenu menu_;
    BusyCursor busy_;
    std::unique_ptr<UserPrompts> ownPrompts_;
    UserPrompts *prompts_ = nullptr;
    TrayParking *tray_ = nullptr;
    QPointer<SetupWindow> setupWindow_;
    PortSearch *portSearch_ = nullptr; // the port search and its table, for the whole run
    QPointer<ComPanel> panel_;
    QPointer<OptionsWindow> optionsWindow_;
    Clock &clock_;
    SettingsStore &store_;
    // Fed by every decoded packet from the start, so the chart has the history when opened.
    std::unique_ptr<LiveFigures> liveFigures_;
    LiveReadingsWindow *liveWindow_ = nullptr;
    HistoryWindow *historyWindow_ = nullptr;
    // Last member: it goes first, while the fields it reports to still exist.
    std::unique_ptr<AcquisitionCore> core_;
    bool shutDown_ = false;
};

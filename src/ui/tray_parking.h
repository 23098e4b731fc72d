#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>

class QWidget;

// Parks the main window in the notification area while it is minimized: the icon exists only
// then, and a double-click on it brings the window back. Where the desktop has no notification
// area the window stays minimized in the task bar.
class TrayParking final : public QObject {
    Q_OBJECT
public:
    explicit TrayParking(QWidget &window, QObject *parent = nullptr);
    ~TrayParking() override;

    // Fills the icon's record (the window's icon and the tip); until then minimizing parks
    // nothing.
    void prepare();
    // The window has just been minimized.
    void windowMinimized();
    void removeIcon();

    // The icon while the window is parked, else null.
    QSystemTrayIcon *icon() const { return icon_; }

    // Closes the program's other windows when the main window is parked (each unless maximized).
    std::function<void()> closeOtherWindows;
    // Whether the desktop has a notification area; replaceable so that tests can have one.
    std::function<bool()> trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void hideParkedWindow();

    QWidget &window_;
    bool prepared_ = false;
    QIcon iconImage_;
    QString tip_;
    // A child of this object, so that an icon whose deferred deletion never ran still goes.
    QPointer<QSystemTrayIcon> icon_;
};

#include "tray_parking.h"

#include "program_texts.h"

#include <QTimer>
#include <QWidget>

TrayParking::TrayParking(QWidget &window, QObject *parent) : QObject(parent), window_(window) {}

TrayParking::~TrayParking() = default;

void TrayParking::prepare()
{
    iconImage_ = window_.windowIcon();
    tip_ = ProgramTexts::trayTip();
    prepared_ = true;
}

void TrayParking::windowMinimized()
{
    if (!prepared_ || !trayAvailable())
        return;
    if (!icon_) {
        icon_ = new QSystemTrayIcon(iconImage_, this);
        icon_->setToolTip(tip_);
        connect(icon_, &QSystemTrayIcon::activated, this, &TrayParking::onActivated);
        icon_->show();
    }
    if (closeOtherWindows)
        closeOtherWindows();
    // Hiding from inside the window's own state-change notification confuses some window
    // managers; the window goes once that notification is over.
    QTimer::singleShot(0, this, &TrayParking::hideParkedWindow);
}

void TrayParking::hideParkedWindow()
{
    if (icon_ && window_.isMinimized())
        window_.hide();
}

void TrayParking::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    window_.setWindowState(window_.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    removeIcon();
    window_.show();
    window_.activateWindow();
}

void TrayParking::removeIcon()
{
    if (!icon_)
        return;
    icon_->hide();
    // The activation that asked for this may still be on the icon's call stack.
    icon_->deleteLater();
    icon_ = nullptr;
}

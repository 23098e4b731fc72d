#pragma once

// The setup window as the user opens it, from the main window's menu, with every line its status
// list receives recorded in order ("--" for each clear).

#include "acquisition_core.h"
#include "main_window.h"
#include "recorders.h"
#include "recording_settings_store.h"
#include "setup_log.h"
#include "setup_log_list.h"
#include "setup_window.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

struct SetupWindowView {
    QPointer<SetupWindow> window;
    QStringList history;

    void open(MainWindow &main)
    {
        main.menu().utility->trigger();
        window = main.setupWindow();
        SetupLog &log = main.core().setupLog();
        QObject::connect(&log, &SetupLog::lineAdded, &log,
                         [this](const QString &line) { history.append(line); });
        QObject::connect(&log, &SetupLog::cleared, &log, [this] { history.append("--"); });
    }
    QLineEdit *text(int n) const { return window->findChild<QLineEdit *>(QString("Text%1").arg(n)); }
    QPushButton *button(int n) const
    {
        return window->findChild<QPushButton *>(QString("Command%1").arg(n));
    }
    // Fills fields from "n=text" entries.
    void fill(const QStringList &entries) const
    {
        for (const QString &entry : entries)
            text(entry.section('=', 0, 0).toInt())->setText(entry.section('=', 1));
    }
    void click(int n)
    {
        history.clear();
        button(n)->click();
    }
    QStringList list() const { return window->findChild<SetupLogList *>("List1")->lines(); }
};

#pragma once

#include <QListWidget>

class SetupLog;

// The setup window's status list (List1): shows the setup log, which outlives the window, and
// follows it while the window is open.
class SetupLogList final : public QListWidget {
    Q_OBJECT
public:
    SetupLogList(SetupLog &log, QWidget *parent = nullptr);

    QStringList lines() const;
};

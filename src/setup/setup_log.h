#pragma once

#include "status_lines.h"

#include <QObject>
#include <QStringList>

// The setup window's status list as a model that lives for the whole run: the setup sequences
// log here also while the window is closed (the TCP server runs some of them), and the window
// shows the lines when it opens and follows the signals while it is open.
//
// The list keeps its newest kMaxLines lines. The server's commands log a few lines each and
// never clear the list, and the program runs for months.
class SetupLog final : public QObject, public StatusLines {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 1000;

    using QObject::QObject;

    void addLine(const QString &line) override;
    void clear() override;
    const QStringList &lines() const { return lines_; }

signals:
    void lineAdded(const QString &line);
    // The oldest line was dropped to make room.
    void firstLineRemoved();
    void cleared();

private:
    QStringList lines_;
};

#pragma once

#include "status_lines.h"

#include <QListWidget>

// The main window's status log (List1): append-only, emptied only on request. It keeps the
// newest kMaxLines lines, since a noisy line adds lines for as long as the program runs.
class StatusLogList final : public QListWidget, public StatusLines {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 10000;

    explicit StatusLogList(QWidget *parent = nullptr);

    void addLine(const QString &line) override;
    void clear() override { QListWidget::clear(); }

    QStringList lines() const;
};

#pragma once

#include "status_lines.h"

#include <QListWidget>

// The main window's status log (List1): append-only, no limit, emptied only on request.
class StatusLogList final : public QListWidget, public StatusLines {
    Q_OBJECT
public:
    explicit StatusLogList(QWidget *parent = nullptr);

    void addLine(const QString &line) override;
    void clear() override { QListWidget::clear(); }

    QStringList lines() const;
};

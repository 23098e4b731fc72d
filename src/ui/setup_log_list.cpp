#include "setup_log_list.h"

#include "setup_log.h"

SetupLogList::SetupLogList(SetupLog &log, QWidget *parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("List1"));
    setSelectionMode(QAbstractItemView::NoSelection);
    setUniformItemSizes(true);
    addItems(log.lines());
    connect(&log, &SetupLog::lineAdded, this, [this](const QString &line) {
        addItem(line);
        scrollToBottom();
    });
    connect(&log, &SetupLog::firstLineRemoved, this, [this] { delete takeItem(0); });
    connect(&log, &SetupLog::cleared, this, &QListWidget::clear);
}

QStringList SetupLogList::lines() const
{
    QStringList all;
    for (int row = 0; row < count(); ++row)
        all.append(item(row)->text());
    return all;
}

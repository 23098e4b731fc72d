#include "status_log_list.h"

StatusLogList::StatusLogList(QWidget *parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("List1"));
    setSelectionMode(QAbstractItemView::NoSelection);
    setUniformItemSizes(true); // one line each: keeps a long log cheap to lay out
}

void StatusLogList::addLine(const QString &line)
{
    addItem(line);
    while (count() > kMaxLines)
        delete takeItem(0);
    scrollToBottom(); // the newest line is the one the user wants to see
}

QStringList StatusLogList::lines() const
{
    QStringList all;
    for (int row = 0; row < count(); ++row)
        all.append(item(row)->text());
    return all;
}

#include "setup_log.h"

void SetupLog::addLine(const QString &line)
{
    if (lines_.size() >= kMaxLines) {
        lines_.removeFirst();
        emit firstLineRemoved();
    }
    lines_.append(line);
    emit lineAdded(line);
}

void SetupLog::clear()
{
    lines_.clear();
    emit cleared();
}

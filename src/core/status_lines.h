#pragma once

#include <QString>

// A window's list of status lines: the main window's status log or a setup window's list.
class StatusLines {
public:
    virtual ~StatusLines() = default;
    virtual void addLine(const QString &line) = 0;
    virtual void clear() = 0;
};

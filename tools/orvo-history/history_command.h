#pragma once

#include "history_period.h"

#include <QString>
#include <QStringList>

#include <optional>

// What orvo-history was asked: a summary of one period or an export at a step.
struct HistoryCommand {
    QString settingsFile;   // empty: the default settings file
    bool summary = false;   // else an export
    QDate first;
    QDate end;              // exclusive
    PeriodStep step = PeriodStep::Hour;
};

// The command line's meaning, or the one line that says what is wrong with it (exit code 2).
struct ParsedCommand {
    std::optional<HistoryCommand> command;
    QString error;
    bool help = false;
};

ParsedCommand parseHistoryCommand(const QStringList &arguments);
// --help: the usage and where the record of the settings file is.
QString historyUsage(const QString &recordFile);

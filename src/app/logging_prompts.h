#pragma once

#include "reporters.h"

// Prompts where nobody can answer: a message becomes a status line, and a question is answered
// No, with a status line that says so. The program without a window uses them for good, and
// the program with one while recovery works on its own.
class LoggingPrompts final : public UserPrompts {
public:
    explicit LoggingPrompts(Reporter<StatusLines> log) : log_(log) {}
    void message(const QString &text) override { log_->addLine(text); }
    bool askYesNo(const QString &text) override
    {
        log_->addLine(QStringLiteral("%1 Answered No.").arg(text));
        return false;
    }

private:
    Reporter<StatusLines> log_;
};

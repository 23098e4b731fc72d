#pragma once

#include "logging_prompts.h"
#include "reporters.h"

// The acquisition side's status log and prompts, routed to the user's. While quiet (a start
// made by recovery, with nobody at the screen), the log is not cleared and the prompts only
// write status lines: a monitor that stays off must not raise a box every minute.
class QuietReporting {
public:
    explicit QuietReporting(Reporters to) : to_(to), lines_(*this), prompts_(&lines_), loud_(*this) {}
    QuietReporting(const QuietReporting &) = delete;
    QuietReporting &operator=(const QuietReporting &) = delete;

    // The user's bundle with the status log and the prompts replaced by the routed ones.
    Reporters routed()
    {
        Reporters r = to_;
        r.statusLog = &lines_;
        r.prompts = &loud_;
        return r;
    }
    StatusLines &lines() { return lines_; }
    bool isQuiet() const { return quiet_; }
    void setQuiet(bool on) { quiet_ = on; }

private:
    class Lines final : public StatusLines {
    public:
        explicit Lines(QuietReporting &owner) : owner_(owner) {}
        void addLine(const QString &line) override { owner_.to_.statusLog->addLine(line); }
        void clear() override
        {
            if (!owner_.quiet_)
                owner_.to_.statusLog->clear();
        }

    private:
        QuietReporting &owner_;
    };
    class Prompts final : public UserPrompts {
    public:
        explicit Prompts(QuietReporting &owner) : owner_(owner) {}
        void message(const QString &text) override { pick().message(text); }
        bool askYesNo(const QString &text) override { return pick().askYesNo(text); }
        bool askYesNoTitled(const QString &title, const QString &text) override
        {
            return pick().askYesNoTitled(title, text);
        }

    private:
        UserPrompts &pick()
        {
            return owner_.quiet_ ? static_cast<UserPrompts &>(owner_.prompts_)
                                 : owner_.to_.prompts.get();
        }
        QuietReporting &owner_;
    };

    Reporters to_;
    Lines lines_;
    LoggingPrompts prompts_;
    Prompts loud_;
    bool quiet_ = false;
};

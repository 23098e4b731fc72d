#pragma once

#include "port_status_view.h"
#include "status_lines.h"
#include "user_prompts.h"

#include <QStringList>

#include <functional>

// Test doubles for the interfaces through which the program reports to the user.

class RecordingStatusLines final : public StatusLines {
public:
    void addLine(const QString &line) override { lines.append(line); }
    void clear() override
    {
        lines.clear();
        ++clears;
    }
    QStringList lines;
    int clears = 0;
};

class RecordingPrompts final : public UserPrompts {
public:
    void message(const QString &text) override
    {
        messages.append(text);
        if (onMessage)
            onMessage(text);
    }
    bool askYesNo(const QString &text) override
    {
        questions.append(text);
        return answerYes && !answerNoTo.contains(text);
    }
    bool askYesNoTitled(const QString &title, const QString &text) override
    {
        titles.append(title);
        return askYesNo(text);
    }
    QStringList messages;
    QStringList questions;
    QStringList titles; // of the questions asked under their own title
    bool answerYes = false;
    QStringList answerNoTo; // questions answered No whatever answerYes says
    std::function<void(const QString &)> onMessage;
};

class RecordingPortView final : public PortStatusView {
public:
    void showPortOpen() override { shown.append(QStringLiteral("COM Port is Open")); }
    void showPortClosed() override { shown.append(QStringLiteral("COM Port is Closed")); }
    QStringList shown;
};

#pragma once

#include "user_prompts.h"

#include <QPointer>
#include <QWidget>

// Messages and Yes/No questions as modal message boxes over a window.
class MessageBoxPrompts final : public UserPrompts {
public:
    explicit MessageBoxPrompts(QWidget *parent) : parent_(parent) {}

    void message(const QString &text) override;
    bool askYesNo(const QString &text) override;
    bool askYesNoTitled(const QString &title, const QString &text) override;

private:
    // The window may go while a box waits in its own event loop.
    QPointer<QWidget> parent_;
};

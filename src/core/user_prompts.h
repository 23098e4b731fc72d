#pragma once

#include <QString>

// The questions and messages the program puts to the user: message boxes in the program,
// recorders with scripted answers in tests.
class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    // A message box with an OK button.
    virtual void message(const QString &text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const QString &text) = 0;
};

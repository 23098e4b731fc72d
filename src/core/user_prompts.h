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
    // A Yes/No question under its own title (the program's name otherwise); true for Yes.
    virtual bool askYesNoTitled(const QString &title, const QString &text)
    {
        Q_UNUSED(title);
        return askYesNo(text);
    }
};

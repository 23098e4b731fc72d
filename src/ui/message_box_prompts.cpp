#include "message_box_prompts.h"

#include <QCoreApplication>
#include <QMessageBox>

void MessageBoxPrompts::message(const QString &text)
{
    QMessageBox::information(parent_, QCoreApplication::applicationName(), text, QMessageBox::Ok);
}

bool MessageBoxPrompts::askYesNo(const QString &text)
{
    return askYesNoTitled(QCoreApplication::applicationName(), text);
}

bool MessageBoxPrompts::askYesNoTitled(const QString &title, const QString &text)
{
    return QMessageBox::question(parent_, title, text, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

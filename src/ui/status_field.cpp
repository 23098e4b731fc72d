#include "status_field.h"
#include "status_fields.h"
#include "ui_logging.h"

#include <QPalette>

StatusField::StatusField(const QString &objectName, QWidget *parent) : QLineEdit(parent)
{
    setObjectName(objectName);
    setReadOnly(true);
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::NoFocus);
}

void StatusField::showState(const QString &text, const QColor &foreground,
                            const QColor &background)
{
    QPalette p = palette();
    // Both colour groups, so the box keeps its colours while the window is not active.
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Text, foreground);
        p.setColor(group, QPalette::Base, background);
    }
    setPalette(p);
    setText(text);
    qCInfo(lcUi).noquote() << objectName() + QStringLiteral(": \"") + text + QStringLiteral("\"");
}

QColor StatusField::foreground() const
{
    return palette().color(QPalette::Active, QPalette::Text);
}

QColor StatusField::background() const
{
    return palette().color(QPalette::Active, QPalette::Base);
}

void ServerStatusField::showServerStatus(const QString &text, ServerColour colour)
{
    switch (colour) {
    case ServerColour::BlackOnGreen:
        showGood(text);
        break;
    case ServerColour::WhiteOnRed:
        showStopped(text);
        break;
    case ServerColour::BlackOnYellow:
        showState(text, Qt::black, Qt::yellow);
        break;
    case ServerColour::WhiteOnBlack:
        showState(text, Qt::white, Qt::black);
        break;
    }
}

void ServerStatusField::setWindowTitle(const QString &title)
{
    if (titled_)
        titled_->setWindowTitle(title);
}

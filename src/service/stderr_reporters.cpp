#include "stderr_reporters.h"

#include <QDateTime>

#include <cstdio>

StderrStatusLines::StderrStatusLines() : stamped_(!qEnvironmentVariableIsSet("JOURNAL_STREAM")) {}

void StderrStatusLines::addLine(const QString &line)
{
    if (stamped_) {
        const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODate);
        std::fprintf(stderr, "%s %s\n", qPrintable(stamp), qPrintable(line));
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(line));
    }
    std::fflush(stderr);
}

void StatusLineViews::show(QString &last, const QString &text)
{
    if (last == text)
        return;
    last = text;
    log_.addLine(text);
}

void StatusLineViews::showRealTimeActive(Field field)
{
    if (field == Field::MainWindow) // the web form's field says the same
        show(realTime_, QStringLiteral("Real-Time Data Active"));
}

void StatusLineViews::showRealTimeStopped(Field field)
{
    if (field == Field::MainWindow)
        show(realTime_, QStringLiteral("Real-Time Data Stopped"));
}

void StatusLineViews::showServerStatus(const QString &text, ServerColour)
{
    show(server_, QStringLiteral("Server: %1").arg(text));
}

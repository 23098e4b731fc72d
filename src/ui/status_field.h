#pragma once

#include <QColor>
#include <QLineEdit>

// A read-only one-line box that shows a state in words and colour, centred.
class StatusField : public QLineEdit {
    Q_OBJECT
public:
    explicit StatusField(const QString &objectName, QWidget *parent = nullptr);

    void showState(const QString &text, const QColor &foreground, const QColor &background);
    // Black on green: port open, real time active, client connected.
    void showGood(const QString &text) { showState(text, Qt::black, Qt::green); }
    // White on red: stopped or closed.
    void showStopped(const QString &text) { showState(text, Qt::white, Qt::red); }

    QColor foreground() const;
    QColor background() const;
};

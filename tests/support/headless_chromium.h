#pragma once

// Debian's chromium, headless, driven through its DevTools protocol: a page kept open while the
// test's server runs, scripts evaluated in it as it is now, and its picture. --dump-dom with a
// virtual time budget never finishes while a page holds an event stream open, so the page is
// asked over the protocol instead.

#include <QHash>
#include <QJsonObject>
#include <QProcess>
#include <QSize>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebSocket>

class HeadlessChromium {
public:
    // Empty when chromium is installed, else what to install.
    static QString missing();

    explicit HeadlessChromium(QSize viewport = QSize(1280, 900));
    ~HeadlessChromium(); // the browser never outlives its test

    // Starts the browser on url and connects to its page; false (see error()) when it could not.
    bool open(const QUrl &url);
    // The value of a script in the page, waiting while events run; a promise is awaited.
    QJsonValue evaluate(const QString &expression);
    // Waits while events run until the script's value is true.
    bool waitFor(const QString &condition, int timeoutMs = 10000);
    // The viewport as PNG.
    QByteArray screenshot();
    QString error() const { return error_; }

private:
    QJsonObject command(const QString &method, const QJsonObject &params = {});
    QUrl pageSocketUrl();

    QSize viewport_;
    QTemporaryDir profile_;
    QProcess browser_;
    QWebSocket socket_;
    QHash<int, QJsonObject> answers_;
    int nextId_ = 1;
    QString error_;
};

// The width and height a PNG says it has; an empty size when the data is no PNG.
QSize pngSize(const QByteArray &png);

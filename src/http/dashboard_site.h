#pragma once

#include "http_service.h"

#include <QByteArray>
#include <QString>

// The dashboard's files: the page, its style and its script from the program's resources, and
// the chart library that the system installs (so that a page works without the internet and
// the library gets its security updates from the distribution).
class DashboardSite {
public:
    // Where Debian's libjs-chart.js puts the library, or what the build was told.
    static QString defaultChartLibraryPath();

    explicit DashboardSite(QString chartLibraryPath = defaultChartLibraryPath());

    // "/", "/dashboard.css", "/dashboard.js", "/dashboard-charts.js" and "/chart.js".
    void addRoutes(HttpService &service);

    HttpReply page() const;
    HttpReply chartLibrary();

private:
    static HttpReply file(const QByteArray &body, const QByteArray &type);

    QString chartLibraryPath_;
    QByteArray page_;
    QByteArray style_;
    QByteArray script_;
    QByteArray chartsScript_;
    QByteArray chartLibrary_; // read at the first request that wants it
};

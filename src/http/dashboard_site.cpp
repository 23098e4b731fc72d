#include "dashboard_site.h"

#include "http_logging.h"

#include <QFile>

#ifndef ORVO_CHART_JS_PATH
#define ORVO_CHART_JS_PATH "/usr/share/javascript/chart.js/chart.min.js"
#endif

// Resources of a static library are registered by hand, from outside any namespace.
static void registerDashboardResources()
{
    Q_INIT_RESOURCE(dashboard);
}

namespace {

QByteArray resource(const char *name)
{
    QFile file(QStringLiteral(":/dashboard/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qCWarning(lcHttp) << "the dashboard's" << name << "is missing from the resources";
    return file.readAll();
}

} // namespace

QString DashboardSite::defaultChartLibraryPath()
{
    return QStringLiteral(ORVO_CHART_JS_PATH);
}

DashboardSite::DashboardSite(QString chartLibraryPath) : chartLibraryPath_(std::move(chartLibraryPath))
{
    registerDashboardResources();
    page_ = resource("index.html");
    style_ = resource("dashboard.css");
    script_ = resource("dashboard.js");
    chartsScript_ = resource("dashboard-charts.js");
}

void DashboardSite::addRoutes(HttpService &service)
{
    service.addRoute(QStringLiteral("/"), [this](const QHttpServerRequest &) { return page(); });
    service.addRoute(QStringLiteral("/dashboard.css"), [this](const QHttpServerRequest &) {
        return file(style_, "text/css; charset=utf-8");
    });
    service.addRoute(QStringLiteral("/dashboard.js"), [this](const QHttpServerRequest &) {
        return file(script_, "text/javascript; charset=utf-8");
    });
    service.addRoute(QStringLiteral("/dashboard-charts.js"), [this](const QHttpServerRequest &) {
        return file(chartsScript_, "text/javascript; charset=utf-8");
    });
    service.addRoute(QStringLiteral("/chart.js"),
                     [this](const QHttpServerRequest &) { return chartLibrary(); });
}

HttpReply DashboardSite::file(const QByteArray &body, const QByteArray &type)
{
    HttpReply reply;
    reply.contentType = type;
    reply.body = body;
    // Revalidated at each load: a new version of the program serves its own page at once.
    reply.cacheControl = "no-cache";
    return reply;
}

HttpReply DashboardSite::page() const
{
    HttpReply reply = file(page_, "text/html; charset=utf-8");
    // The page runs only its own files and talks only to this program; no other site frames it.
    reply.addHeader("Content-Security-Policy",
                    "default-src 'self'; img-src 'self' data:; style-src 'self' 'unsafe-inline'; "
                    "frame-ancestors 'none'; base-uri 'none'; form-action 'none'");
    reply.addHeader("Referrer-Policy", "no-referrer");
    return reply;
}

HttpReply DashboardSite::chartLibrary()
{
    if (chartLibrary_.isEmpty()) {
        QFile file(chartLibraryPath_);
        if (!file.open(QIODevice::ReadOnly)) {
            qCInfo(lcHttp).noquote() << "chart library" << chartLibraryPath_ << "not readable:"
                                     << file.errorString();
            return HttpReply::text(404, "The chart library is not installed (Debian package libjs-chart.js)");
        }
        chartLibrary_ = file.readAll();
    }
    HttpReply reply = file(chartLibrary_, "text/javascript; charset=utf-8");
    // It changes only when the system updates it.
    reply.cacheControl = "max-age=86400";
    return reply;
}

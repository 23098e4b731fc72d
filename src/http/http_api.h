#pragma once

#include "dashboard_site.h"
#include "history_api.h"
#include "http_access.h"
#include "http_service.h"
#include "http_settings.h"
#include "live_events.h"
#include "live_feed.h"
#include "reporters.h"

#include <QObject>

#include <functional>
#include <optional>

class Clock;

// Where the figures of /metrics come from: the parts that keep them, asked at each request.
struct HttpSources {
    std::function<bool()> linkUp;
    std::function<bool()> mqttConnected;
    std::function<quint64()> checksumErrors;
    std::function<quint64()> suspectDropped;
    // The record's failed writes; nothing while the program keeps no record.
    std::function<std::optional<quint64>()> historyWriteFailures;
};

// The program's HTTP API: the dashboard (/), /api/live, /api/events, /api/history and /metrics,
// behind the access token, on the address of the settings group "http". Listening beyond loopback needs a token: without one the API stays
// off and the status log says why, as it says where the API listens.
class HttpApi final : public QObject {
    Q_OBJECT
public:
    HttpApi(Clock &clock, Reporter<StatusLines> log, HttpSources sources,
            QObject *parent = nullptr);

    // Listens as the settings say (closing what listened before), or stays off.
    void apply(const HttpSettings &settings);
    void stop();
    // The decoder's listener: each decoded packet.
    void packetDecoded(const LiveReading &reading);
    // The record /api/history reads, or none (null) while the program keeps none.
    void setRecord(HistoryStore *store, const QString &node, const Tariff &tariff)
    {
        history_.setRecord(store, node, tariff);
    }
    // A further route (GET, exact path), behind the token like the others.
    void addRoute(const QString &path, HttpHandler handler);

    bool isListening() const { return service_.isListening(); }
    // "HTTP API on http://127.0.0.1:8088/", why it is not listening, or "The HTTP API is off".
    QString statusText() const { return status_; }
    // Where a browser reaches the API while it listens ("http://127.0.0.1:8088/"); else empty.
    QString address() const;
    quint16 port() const { return service_.port(); }
    HttpService &service() { return service_; }
    const LiveFeed &feed() const { return feed_; }
    const LiveEvents &events() const { return events_; }

    HttpReply liveReply() const;
    HttpReply metricsReply() const;

    // Why these settings cannot listen, as the status log says it; empty when they can.
    static QString refusal(const HttpSettings &settings);

signals:
    // Listening began or ended, or the status text changed.
    void statusChanged();

private:
    void setStatus(const QString &text, bool logged);

    Reporter<StatusLines> log_;
    HttpSources sources_;
    LiveFeed feed_;
    HttpService service_;
    HistoryApi history_;
    LiveEvents events_;
    DashboardSite site_;
    HttpAccess access_;
    HttpEndpoint endpoint_;
    QString status_;
};

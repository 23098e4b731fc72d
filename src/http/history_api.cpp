#include "history_api.h"

#include "clock.h"
#include "history_csv.h"
#include "history_reader.h"
#include "http_logging.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace {

QJsonObject rowJson(const ReportRow &r)
{
    QJsonObject o{{"start", HistoryCsv::localTime(r.start)},
                  {"end", HistoryCsv::localTime(r.end)},
                  {"ch1_ws", r.energy[kAbs1]},
                  {"ch2_ws", r.energy[kAbs2]},
                  {"ch1_generated_ws", r.energy[kGen1]},
                  {"ch2_generated_ws", r.energy[kGen2]},
                  {"gap", r.gap},
                  {"incomplete", r.incomplete},
                  {"energy_cost", r.energyCost},
                  {"standing_charge", r.standing},
                  {"cost", r.cost()},
                  {"packets", r.packets}};
    if (r.packets > 0) {
        o.insert("ch1_min_w", r.minWatts[0]);
        o.insert("ch1_max_w", r.maxWatts[0]);
        o.insert("ch2_min_w", r.minWatts[1]);
        o.insert("ch2_max_w", r.maxWatts[1]);
        o.insert("min_volts", r.minVolts);
        o.insert("max_volts", r.maxVolts);
    }
    return o;
}

qint64 rowsAtMost(const PeriodRange &range)
{
    const qint64 days = range.first.daysTo(range.end);
    switch (range.step) {
    case PeriodStep::Minute:
        return days * 1440;
    case PeriodStep::Hour:
        return days * 25;
    case PeriodStep::Day:
        return days;
    case PeriodStep::Month:
        return days / 28 + 1;
    }
    return days;
}

HttpReply badRequest(const QString &why)
{
    return HttpReply::text(400, why.toUtf8());
}

} // namespace

HistoryApi::HistoryApi(const Clock &clock, QObject *parent) : QObject(parent), clock_(clock) {}

HistoryApi::~HistoryApi() = default;

void HistoryApi::setRecord(HistoryStore *store, const QString &node, const Tariff &tariff)
{
    pending_.clear(); // their reader goes: each is answered 500 rather than never
    reader_.reset();
    if (!store)
        return;
    reader_ = std::make_unique<HistoryReader>(*store, node, tariff);
    connect(reader_.get(), &HistoryReader::ready, this, &HistoryApi::ready);
}

void HistoryApi::handle(const QHttpServerRequest &request, HttpResponder responder)
{
    const QUrlQuery query = request.query();
    const auto item = [&query](const char *name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    QString error;
    const std::optional<PeriodRange> range =
        parsePeriodRange(item("from"), item("to"), item("step"),
                         {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("step")}, &error);
    const QString format = item("format");
    if (!range)
        return responder.send(badRequest(error));
    if (!format.isEmpty() && format != u"json" && format != u"csv")
        return responder.send(badRequest(QStringLiteral("format \"%1\" is not json or csv").arg(format)));
    if (rowsAtMost(*range) > kMaxRows)
        return responder.send(badRequest(
            QStringLiteral("from %1 to %2 at step %3 is more than %4 rows; ask for less")
                .arg(item("from"), item("to"), item("step")).arg(kMaxRows)));
    if (!reader_)
        return responder.send(HttpReply::text(503, "The energy record is off"));
    const quint64 id = reader_->request(range->first, range->end, range->step, clock_.epochMs() / 1000);
    pending_.insert(id, Pending{std::move(responder), *range, format == u"csv"});
}

void HistoryApi::ready(const PeriodReport &report)
{
    const auto it = pending_.find(report.id);
    if (it == pending_.end())
        return;
    Pending pending = std::move(*it);
    pending_.erase(it);
    if (!report.ok) {
        qCInfo(lcHttp).noquote() << "record not read:" << report.error;
        QString why = report.error;
        why.replace(u'\n', u' ');
        return pending.responder.send(
            HttpReply::text(503, "The energy record could not be read: " + why.toUtf8()));
    }
    HttpReply reply;
    if (pending.csv) {
        reply.contentType = "text/csv; charset=utf-8";
        reply.body = HistoryCsv::text(report).toUtf8();
    } else {
        reply.contentType = "application/json";
        reply.body = json(report, pending.range);
    }
    pending.responder.send(reply);
}

QByteArray HistoryApi::json(const PeriodReport &report, const PeriodRange &range)
{
    QJsonArray rows;
    for (const ReportRow &row : report.rows)
        rows.append(rowJson(row));
    const QJsonObject o{{"from", range.first.toString(Qt::ISODate)},
                        {"to", range.end.toString(Qt::ISODate)},
                        {"step", periodStepName(range.step)},
                        {"rows", rows},
                        {"total", rowJson(report.total)}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

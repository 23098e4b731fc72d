#include "monitor_page.h"

#include <QUrl>

#include <cmath>
#include <optional>
#include <vector>

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 260;
constexpr int kLeft = 64;
constexpr int kRight = 16;
constexpr int kTop = 16;
constexpr int kBottom = 40;

struct Field {
    const char *key;
    const char *label;
};

// The posting request's keys in their order, with what they mean.
const Field kFields[] = {
    {"ch1_power", "CH1 power (W)"}, {"ch2_power", "CH2 power (W)"},
    {"ch1_kwh", "CH1 energy (Wh)"}, {"ch2_kwh", "CH2 energy (Wh)"},
    {"ch1_amps", "CH1 current (A)"}, {"ch2_amps", "CH2 current (A)"},
    {"ch1_extra", "CH1 apparent power (VA)"}, {"ch2_extra", "CH2 apparent power (VA)"},
    {"voltage", "Voltage (V)"}, {"date", "Date"}, {"time", "Time"}, {"load", "Loads"},
    {"username", "Account"},
};

const char kStyle[] =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    "table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:.2em .6em;text-align:left}"
    "td{font-family:monospace}.ch1{stroke:#1f5fbf;fill:#1f5fbf}.ch2{stroke:#d2691e;fill:#d2691e}"
    "svg{border:1px solid #ccc;background:#fcfcfc}";

using Series = std::vector<std::optional<double>>;

Series seriesOf(const std::deque<Post> &posts, const QString &key)
{
    Series series;
    for (const Post &post : posts) {
        bool ok = false;
        const double value = post.value(key).toDouble(&ok);
        series.push_back(ok && std::isfinite(value) ? std::optional(value) : std::nullopt);
    }
    return series;
}

double niceStep(double span)
{
    const double raw = span / 4;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double residual = raw / magnitude;
    return magnitude * (residual <= 1 ? 1 : residual <= 2 ? 2 : residual <= 5 ? 5 : 10);
}

struct Scale {
    double low = 0;
    double high = 1;
    double step = 1;
    qsizetype count = 0;

    double x(qsizetype i) const
    {
        const double width = kWidth - kLeft - kRight;
        return count <= 1 ? kLeft + width / 2 : kLeft + width * double(i) / double(count - 1);
    }
    double y(double value) const
    {
        return kTop + (kHeight - kTop - kBottom) * (high - value) / (high - low);
    }
};

Scale scaleFor(const std::vector<const Series *> &all)
{
    double low = 0;
    double high = 0;
    Scale scale;
    for (const Series *series : all) {
        scale.count = qsizetype(series->size());
        for (const auto &value : *series) {
            if (value) {
                low = std::min(low, *value);
                high = std::max(high, *value);
            }
        }
    }
    scale.step = niceStep(std::max(high - low, 1.0));
    scale.low = std::floor(low / scale.step) * scale.step;
    scale.high = std::max(std::ceil(high / scale.step) * scale.step, scale.low + scale.step);
    return scale;
}

QString number(double value)
{
    return QString::number(value, 'f', 1);
}

QString seriesSvg(const Series &series, const Scale &scale, const char *cssClass)
{
    QString path;
    QString dots;
    bool drawing = false;
    for (qsizetype i = 0; i < qsizetype(series.size()); ++i) {
        if (!series[i]) {
            drawing = false;
            continue;
        }
        const QString point = number(scale.x(i)) + ' ' + number(scale.y(*series[i]));
        path += (drawing ? QStringLiteral(" L") : QStringLiteral(" M")) + point;
        dots += QStringLiteral("<circle class=\"%1\" cx=\"%2\" cy=\"%3\" r=\"2\"/>")
                    .arg(cssClass, number(scale.x(i)), number(scale.y(*series[i])));
        drawing = true;
    }
    if (path.isEmpty())
        return QString();
    return QStringLiteral("<path class=\"%1\" fill=\"none\" stroke-width=\"1.5\" d=\"%2\"/>")
               .arg(cssClass, path.trimmed()) + dots;
}

QString gridSvg(const Scale &scale)
{
    QString grid;
    for (double value = scale.low; value <= scale.high + scale.step / 2; value += scale.step) {
        const QString y = number(scale.y(value));
        grid += QStringLiteral("<line x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\" stroke=\"#ddd\"/>")
                    .arg(kLeft).arg(kWidth - kRight).arg(y);
        grid += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"11\" text-anchor=\"end\">%3</text>")
                    .arg(kLeft - 6).arg(y).arg(QString::number(value, 'g', 10));
    }
    return grid;
}

QString timeLabels(const std::deque<Post> &posts, const Scale &scale)
{
    if (posts.empty())
        return QString();
    const QString y = QString::number(kHeight - kBottom + 16);
    const QString first = posts.front().received.toString(u"HH:mm:ss");
    QString labels = QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"11\">%3</text>")
                         .arg(number(scale.x(0)), y, first);
    if (posts.size() > 1) {
        labels += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"11\" text-anchor=\"end\">%3</text>")
                      .arg(number(scale.x(qsizetype(posts.size()) - 1)), y,
                           posts.back().received.toString(u"HH:mm:ss"));
    }
    return labels;
}

QString latestTable(const Post &post)
{
    QString rows;
    QStringList shown;
    for (const Field &field : kFields) {
        const QString key = QString::fromLatin1(field.key);
        shown << key;
        rows += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>")
                    .arg(QString::fromLatin1(field.label), MonitorPage::escaped(post.value(key)));
    }
    // Keys the posting request does not know are shown too, under their own name.
    for (const auto &[key, value] : post.values) {
        if (!shown.contains(key)) {
            shown << key;
            rows += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>")
                        .arg(MonitorPage::escaped(key), MonitorPage::escaped(value));
        }
    }
    return QStringLiteral("<table id=\"latest\">%1</table>").arg(rows);
}

QByteArray page(const QString &title, const QString &body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                          "<meta http-equiv=\"refresh\" content=\"10\"><title>%1</title>"
                          "<style>%2</style></head>\n<body>%3</body></html>\n")
        .arg(title, QString::fromLatin1(kStyle), body)
        .toUtf8();
}

} // namespace

namespace MonitorPage {

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '&': out += u"&amp;"; break;
        case '<': out += u"&lt;"; break;
        case '>': out += u"&gt;"; break;
        case '"': out += u"&quot;"; break;
        case '\'': out += u"&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

QString powerChart(const std::deque<Post> &posts)
{
    const Series ch1 = seriesOf(posts, QStringLiteral("ch1_power"));
    const Series ch2 = seriesOf(posts, QStringLiteral("ch2_power"));
    const Scale scale = scaleFor({&ch1, &ch2});
    return QStringLiteral("<svg id=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                          "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\">"
                          "<title>Power of recent posts</title>%3%4%5%6"
                          "<text class=\"ch1\" x=\"%7\" y=\"%8\" font-size=\"12\">CH1 W</text>"
                          "<text class=\"ch2\" x=\"%9\" y=\"%8\" font-size=\"12\">CH2 W</text></svg>")
        .arg(kWidth).arg(kHeight)
        .arg(gridSvg(scale), seriesSvg(ch1, scale, "ch1"), seriesSvg(ch2, scale, "ch2"),
             timeLabels(posts, scale))
        .arg(kWidth / 2 - 60).arg(kHeight - 6).arg(kWidth / 2 + 10);
}

QByteArray account(const QString &name, const std::deque<Post> &posts)
{
    const QString title = QStringLiteral("Account %1").arg(escaped(name));
    QString body = QStringLiteral("<h1>%1</h1>").arg(title);
    if (posts.empty()) {
        body += QStringLiteral("<p>No posts for this account yet.</p>");
    } else {
        body += QStringLiteral("<p>Latest post received %1; %2 recent posts kept.</p>")
                    .arg(posts.back().received.toString(Qt::ISODate)).arg(posts.size());
        body += latestTable(posts.back());
        body += QStringLiteral("<h2>Power of recent posts</h2>") + powerChart(posts);
    }
    body += QStringLiteral("<p><a href=\"/\">All accounts</a></p>");
    return page(title, body);
}

QByteArray index(const QStringList &accounts)
{
    QString items;
    for (const QString &name : accounts) {
        const QString link = QStringLiteral("/Monitor/monitor.php?user=")
            + QString::fromLatin1(QUrl::toPercentEncoding(name));
        items += QStringLiteral("<li><a href=\"%1\">%2</a></li>").arg(escaped(link), escaped(name));
    }
    const QString body = accounts.isEmpty() ? QStringLiteral("<h1>Accounts</h1><p>No posts yet.</p>")
                                            : QStringLiteral("<h1>Accounts</h1><ul>%1</ul>").arg(items);
    return page(QStringLiteral("Accounts"), body);
}

} // namespace MonitorPage

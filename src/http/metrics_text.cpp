#include "metrics_text.h"

#include <QLocale>

namespace {

// Builds the exposition one family after the other.
class Exposition {
public:
    void family(const char *name, const char *type, const char *help)
    {
        name_ = name;
        text_ += QByteArray("# HELP ") + name + ' ' + help + '\n';
        text_ += QByteArray("# TYPE ") + name + ' ' + type + '\n';
    }
    void sample(double value, const QByteArray &labels = QByteArray())
    {
        text_ += name_;
        if (!labels.isEmpty())
            text_ += '{' + labels + '}';
        text_ += ' ' + QByteArray::number(value, 'g', QLocale::FloatingPointShortest) + '\n';
    }
    // One sample per channel, with its label.
    void channels(double ch1, double ch2, const QByteArray &moreLabels = QByteArray())
    {
        const QByteArray more = moreLabels.isEmpty() ? QByteArray() : ',' + moreLabels;
        sample(ch1, "channel=\"1\"" + more);
        sample(ch2, "channel=\"2\"" + more);
    }
    QByteArray text() const { return text_; }

private:
    QByteArray name_;
    QByteArray text_;
};

// Floats of the reading as they were decoded: 0.9, not 0.89999997615814209.
double shortest(float value)
{
    return QByteArray::number(value, 'g', 7).toDouble();
}

void readingFamilies(Exposition &out, const LiveReading &r, const QDateTime &at)
{
    out.family("orvotove_power_watts", "gauge", "Mean power of the channel over the last packet interval.");
    out.channels(r.watts1, r.watts2);
    out.family("orvotove_energy_joules_total", "counter",
               "Energy through the channel since the counters began, from the static counters "
               "that carry on across monitor resets: generated is the polarized counter, "
               "consumed the rest of the absolute one.");
    out.channels(r.ws1Static - r.ws1PolarStatic, r.ws2Static - r.ws2PolarStatic, "direction=\"consumed\"");
    out.channels(r.ws1PolarStatic, r.ws2PolarStatic, "direction=\"generated\"");
    out.family("orvotove_voltage_volts", "gauge", "Line voltage.");
    out.sample(r.volts);
    out.family("orvotove_current_amperes", "gauge", "Current of the channel.");
    out.channels(shortest(r.amps1), shortest(r.amps2));
    out.family("orvotove_power_factor", "gauge", "Power factor of the channel, 0 to 1.");
    out.channels(shortest(r.pf1), shortest(r.pf2));
    out.family("orvotove_last_packet_timestamp_seconds", "gauge",
               "When the latest packet was decoded, in seconds since the Unix epoch.");
    out.sample(double(at.toMSecsSinceEpoch()) / 1000.0);
}

} // namespace

QByteArray metricsText(const MetricsSnapshot &s)
{
    Exposition out;
    if (s.reading)
        readingFamilies(out, *s.reading, s.lastPacketAt);
    out.family("orvotove_packets_decoded_total", "counter", "Packets decoded since the program started.");
    out.sample(double(s.packetsDecoded));
    out.family("orvotove_checksum_errors_total", "counter", "Packets dropped for a wrong check byte.");
    out.sample(double(s.checksumErrors));
    out.family("orvotove_suspect_packets_dropped_total", "counter",
               "Packets held as doubtful and then dropped as noise.");
    out.sample(double(s.suspectDropped));
    out.family("orvotove_link_up", "gauge", "1 while real-time data flows from the monitor.");
    out.sample(s.linkUp ? 1 : 0);
    out.family("orvotove_mqtt_connected", "gauge", "1 while connected to the MQTT broker.");
    out.sample(s.mqttConnected ? 1 : 0);
    if (s.historyWriteFailures) {
        out.family("orvotove_history_write_failures_total", "counter",
                   "Writes to the record that failed.");
        out.sample(double(*s.historyWriteFailures));
    }
    return out.text();
}

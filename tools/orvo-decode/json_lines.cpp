#include "json_lines.h"

#include "live_reading.h"

#include <charconv>
#include <cmath>
#include <type_traits>

namespace {

constexpr std::size_t kFlushSize = 256 * 1024;

template <typename Number>
void appendNumber(std::string &out, Number value)
{
    if (!std::isfinite(value)) {
        out += "null"; // JSON has no infinities
        return;
    }
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void appendString(std::string &out, const QString &value)
{
    out += '"';
    for (const char c : value.toStdString()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

template <typename Value>
void appendField(std::string &out, const char *key, Value value, bool first = false)
{
    if (!first)
        out += ", ";
    out += '"';
    out += key;
    out += "\": ";
    if constexpr (std::is_same_v<Value, QString>)
        appendString(out, value);
    else
        appendNumber(out, value);
}

} // namespace

void JsonLineWriter::writeReading(const LiveReading &r)
{
    std::string &o = pending_;
    o += '{';
    appendField(o, "volts", r.volts, true);
    appendField(o, "ws1", r.ws1);
    appendField(o, "ws2", r.ws2);
    appendField(o, "ws1Polar", r.ws1Polar);
    appendField(o, "ws2Polar", r.ws2Polar);
    appendField(o, "ws1Static", r.ws1Static);
    appendField(o, "ws2Static", r.ws2Static);
    appendField(o, "ws1PolarStatic", r.ws1PolarStatic);
    appendField(o, "ws2PolarStatic", r.ws2PolarStatic);
    appendField(o, "watts1", r.watts1);
    appendField(o, "watts2", r.watts2);
    appendField(o, "kwh1", r.kwh1);
    appendField(o, "kwh2", r.kwh2);
    appendField(o, "amps1", r.amps1);
    appendField(o, "amps2", r.amps2);
    appendField(o, "pf1", r.pf1);
    appendField(o, "pf2", r.pf2);
    appendField(o, "seconds", r.seconds);
    appendField(o, "secondsDelta", r.secondsDelta);
    endLine();
}

void JsonLineWriter::writeStatus(const QString &line)
{
    pending_ += '{';
    appendField(pending_, "status", line, true);
    endLine();
}

void JsonLineWriter::writeSummary(int packets, int checksumErrors, int suspectDropped)
{
    pending_ += '{';
    appendField(pending_, "packets", packets, true);
    appendField(pending_, "checksumErrors", checksumErrors);
    appendField(pending_, "suspectDropped", suspectDropped);
    endLine();
    flush();
}

void JsonLineWriter::endLine()
{
    pending_ += "}\n";
    if (pending_.size() >= kFlushSize)
        flush();
}

void JsonLineWriter::flush()
{
    if (!pending_.empty())
        std::fwrite(pending_.data(), 1, pending_.size(), out_);
    pending_.clear();
    std::fflush(out_);
}

#pragma once

#include "status_lines.h"

#include <QString>

#include <cstdio>
#include <string>

struct LiveReading;

// Writes the decoder's output as one JSON object per line, keys in a fixed order and separated
// like ", " and ": ". Numbers take the shortest text that reads back to the same value; a float
// is written as a float, so 5.55f prints as 5.55 rather than as its double expansion.
class JsonLineWriter {
public:
    explicit JsonLineWriter(std::FILE *out) : out_(out) {}
    ~JsonLineWriter() { flush(); }

    void writeReading(const LiveReading &reading);
    void writeStatus(const QString &line);
    void writeSummary(int packets, int checksumErrors, int suspectDropped);
    void flush();

private:
    void endLine();

    std::FILE *out_;
    std::string pending_;
};

// Status lines that go to the JSON output as {"status": "<line>"}, in order among the packets.
class JsonStatusLines final : public StatusLines {
public:
    explicit JsonStatusLines(JsonLineWriter &writer) : writer_(writer) {}
    void addLine(const QString &line) override { writer_.writeStatus(line); }
    void clear() override {}

private:
    JsonLineWriter &writer_;
};

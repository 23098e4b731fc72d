#include "command_line_reader.h"

namespace {
bool endsWithCr(const QByteArray &text) { return text.endsWith('\r'); }
} // namespace

CommandLineReader::Result CommandLineReader::read(QIODevice &device, QByteArray &line)
{
    const qint64 waiting = device.bytesAvailable();
    if (waiting <= 0)
        return Result::Incomplete;
    if (discarding_) {
        discarding_ = !endsWithCr(device.readAll());
        return Result::Incomplete;
    }
    if (waiting > kMaxPending) {
        discarding_ = !endsWithCr(device.readAll());
        return Result::TooLong;
    }
    if (!endsWithCr(device.peek(waiting)))
        return Result::Incomplete;
    line = device.read(waiting);
    return Result::Line;
}

// The setup window's monitor operations. Each one copies what it needs before its sequence
// runs: the sequence's waits handle events, and the window may be destroyed meanwhile. After a
// sequence, widgets are touched only through a guard.
#include "setup_window.h"

#include "field_number.h"
#include "module_procedures.h"
#include "setting_writes.h"
#include "settings_read.h"
#include "utility_commands.h"

#include <QLineEdit>

#include <cmath>

namespace {

constexpr int kLargestByte = 255;
constexpr int kLargestInterval = 255;
constexpr int kFirstInvalidId = 128;

// Kept as users know it: see docs/compatibility.md
const QString kComProblem = QStringLiteral(
    "A problem occured with the COM port. Correct the problem and try again.");
const QString kPolarityQuestion = QStringLiteral(
    "Are you sure you want to change the polarity? If you are NET metering, this will affect "
    "your data.");
const QString kResetQuestion =
    QStringLiteral("Are you sure you want to reset the Orvo-88 accumulated data?");

std::optional<quint8> byteField(const QLineEdit *field)
{
    const std::optional<int> value = FieldNumber::wholeIn(field->text(), 0, kLargestByte);
    return value ? std::optional<quint8>(quint8(*value)) : std::nullopt;
}

// The suspension failed: nothing is sent.
void reportComProblem(SetupExchange &exchange, const SetupContext &context)
{
    exchange.clearLog();
    exchange.log(kComProblem);
    context.reporters.busy->setBusy(false);
}

} // namespace

void SetupWindow::acceptCt(int channel)
{
    const SetupContext context = context_;
    SetupExchange exchange(context);
    const QString modifying = QStringLiteral("Modifying CH%1 CT Type and Range").arg(channel);
    const std::optional<quint8> type = byteField(w_.text[channel == 1 ? 1 : 3]);
    const std::optional<quint8> range = byteField(w_.text[channel == 1 ? 2 : 4]);
    if (!type || !range) {
        // A field that does not fit a byte; nothing was suspended, so nothing is restored.
        exchange.clearLog();
        exchange.log(QStringLiteral("PROBLEM ") + modifying);
        context.reporters.busy->setBusy(false);
        exchange.message(QStringLiteral("Error writing CT setup values"));
        return;
    }
    exchange.clearLog();
    if (channel == 2)
        exchange.log(modifying);
    if (!exchange.suspend())
        return reportComProblem(exchange, context);
    context.reporters.busy->setBusy(true);
    if (channel == 1) {
        exchange.clearLog();
        exchange.log(modifying);
    }
    // An improper range is reported by the sequence; the completion line follows regardless.
    SettingWrites(context).writeCtSetting(*type, *range, quint8(channel));
    if (channel == 1) {
        context.reporters.busy->setBusy(false);
        exchange.restore();
    }
    exchange.clearLog();
    exchange.log(QStringLiteral("Completed ") + modifying);
    if (channel == 2) {
        context.reporters.busy->setBusy(false);
        exchange.restore(); // its line, if any, follows the completion line
    }
}

void SetupWindow::acceptPt()
{
    const SetupContext context = context_;
    SetupExchange exchange(context);
    exchange.clearLog();
    const std::optional<quint8> type = byteField(w_.text[6]);
    const std::optional<quint8> range = byteField(w_.text[7]);
    if (!type || !range) {
        exchange.message(QStringLiteral("Error writing PT setup values"));
        context.reporters.busy->setBusy(false);
        return;
    }
    if (!exchange.suspend())
        return reportComProblem(exchange, context);
    context.reporters.busy->setBusy(true);
    SettingWrites(context).writePtSetting(*type, *range);
    exchange.log(QStringLiteral("Completed"));
    context.reporters.busy->setBusy(false);
    exchange.restore();
}

void SetupWindow::acceptInterval()
{
    const SetupContext context = context_;
    SetupExchange exchange(context);
    exchange.clearLog();
    const std::optional<int> value = FieldNumber::wholeIn(w_.text[5]->text(), -32768, 32767);
    if (!value) { // beyond 16 bits: ends without a message
        context.reporters.busy->setBusy(false);
        return;
    }
    if (*value > kLargestInterval || *value == 0) {
        exchange.message(QStringLiteral("Invalid Storage Interval Value"));
        return;
    }
    if (!exchange.suspend())
        return reportComProblem(exchange, context);
    context.reporters.busy->setBusy(true);
    // A negative value does not fit the low byte: the operation ends without sending it.
    if (*value > 0)
        SettingWrites(context).writeIntervalSetting(0, quint8(*value));
    context.reporters.busy->setBusy(false);
    exchange.restore();
}

void SetupWindow::acceptDeviceId()
{
    const SetupContext context = context_;
    SetupExchange exchange(context);
    // Read before the suspension, whose waits may take the window; the suspension comes first
    // on the screen all the same, since reading shows nothing.
    const double value = std::nearbyint(FieldNumber::leadingValue(w_.text[9]->text()));
    if (!exchange.suspend())
        return reportComProblem(exchange, context);
    exchange.clearLog();
    if (value >= kFirstInvalidId) {
        exchange.message(QStringLiteral("Invalid Device ID Value"));
    } else if (!(value >= 0)) {
        context.reporters.busy->setBusy(false);
        exchange.message(QStringLiteral("Error Device ID value"));
    } else {
        context.reporters.busy->setBusy(true);
        SettingWrites(context).writeDeviceId(quint8(value));
        context.reporters.busy->setBusy(false);
    }
    exchange.restore();
}

void SetupWindow::readSettings()
{
    const SetupContext context = context_;
    const QPointer<SetupWindow> self(this);
    context.reporters.busy->setBusy(true);
    const std::array<int, 9> fields{1, 2, 3, 4, 6, 7, 5, 8, 9}; // in the order of the block
    for (const int n : fields)
        w_.text.at(n)->clear();
    const std::optional<SettingsTexts> texts = SettingsRead(context).readSettingsForWindow();
    context.reporters.busy->setBusy(false);
    if (!texts || !self)
        return;
    const QStringList values = texts->toList();
    for (int i = 0; i < int(fields.size()); ++i)
        w_.text.at(fields.at(i))->setText(values.at(i));
}

void SetupWindow::readSerialNumber()
{
    const SetupContext context = context_;
    const QPointer<SetupWindow> self(this);
    const std::optional<QString> serialNumber = UtilityCommands(context).readSerialNumber();
    if (serialNumber && self)
        w_.text[11]->setText(*serialNumber);
}

void SetupWindow::sendAcknowledge()
{
    const SetupContext context = context_;
    const QPointer<SetupWindow> self(this);
    const std::optional<QString> response = UtilityCommands(context).sendAcknowledge();
    if (response && self)
        w_.text[10]->setText(*response);
}

void SetupWindow::togglePolarity(int channel)
{
    const SetupContext context = context_;
    if (context.reporters.prompts->askYesNo(kPolarityQuestion))
        ModuleProcedures(context).togglePolarity(channel);
}

void SetupWindow::resetMonitor()
{
    const SetupContext context = context_;
    if (context.reporters.prompts->askYesNoTitled(QStringLiteral("Caution"), kResetQuestion))
        UtilityCommands(context).resetFromWindow();
}

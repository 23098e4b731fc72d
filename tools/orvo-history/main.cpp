// orvo-history: the energy record as CSV, for the service's users and for scripts. It only
// reads the record (and the settings, for where the record is and the tariff), takes no lock,
// and so runs beside a running program.
#include "history_command.h"
#include "history_csv.h"
#include "history_reader.h"
#include "history_settings.h"
#include "settings_text.h"
#include "server_history_store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSettings>
#include <QTimer>

#include <cstdio>

namespace {

QString settingsFileOf(const QStringList &arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--settings"));
    if (at >= 0 && at + 1 < arguments.size())
        return arguments[at + 1];
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Orvotove"),
                     QStringLiteral("Orvotove"))
        .fileName();
}

// Reads the settings file as the program does: a hand-written value with commas stays one text.
GroupSettingReader iniReader(const QSettings &ini)
{
    return [&ini](const QString &group, const QString &key) -> std::optional<QString> {
        const QVariant v = ini.value(group + u'/' + key);
        if (!v.isValid())
            return std::nullopt;
        return v.typeId() == QMetaType::QStringList ? v.toStringList().join(u',') : v.toString();
    };
}

void printError(const QString &line)
{
    std::fprintf(stderr, "orvo-history: %s\n", qPrintable(line));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvo-history"));
    const QStringList arguments = app.arguments().mid(1);
    const ParsedCommand parsed = parseHistoryCommand(arguments);
    const QString settingsFile = settingsFileOf(arguments);
    const QSettings ini(settingsFile, QSettings::IniFormat);
    const GroupSettingReader read = iniReader(ini);
    const HistorySettings settings = readHistorySettings(read, settingsFile);
    if (parsed.help) {
        std::fputs(qPrintable(historyUsage(settings.database)), stdout);
        return 0;
    }
    if (!parsed.command) {
        printError(parsed.error);
        return 2;
    }
    const double rate = SettingsText::toDouble(read(QStringLiteral("startup"), QStringLiteral("Rate"))
                                                   .value_or(QString()))
                            .value_or(0.126);
    QStringList problems;
    const Tariff tariff = Tariff::fromTexts(readTariffTexts(read), rate, &problems);
    for (const QString &problem : problems)
        printError(problem);

    QString problem;
    const std::unique_ptr<HistoryStore> store = openHistoryStore(settings, SqlHistoryStore::Access::ReadOnly, &problem);
    if (!store) {
        printError(problem);
        return 1;
    }
    HistoryReader reader(*store, settings.node, tariff);
    const HistoryCommand command = *parsed.command;
    int code = 0;
    QObject::connect(&reader, &HistoryReader::ready, &app, [&](const PeriodReport &report) {
        if (!report.ok) {
            printError(report.error);
            code = 1;
        } else if (command.summary) {
            std::fputs(qPrintable(HistoryCsv::header() + u'\n' + HistoryCsv::line(report.total) + u'\n'), stdout);
        } else {
            std::fputs(qPrintable(HistoryCsv::text(report)), stdout);
        }
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, &reader, [&] {
        reader.request(command.first, command.end, command.step, QDateTime::currentSecsSinceEpoch());
    });
    app.exec();
    return code;
}

#include "post_log_model.h"

#include "number_format.h"

#include <QSize>

#include <array>

namespace {

struct Column {
    const char *title;
    int widthTwips;
};

constexpr std::array<Column, PostLogModel::kColumnCount> kColumns{{
    {"Trigger Source", 1300},
    {"Trig 1", 800},
    {"Trig 2", 800},
    {"Time of Post", 1200},
    {"CH1 Watt", 1100},
    {"CH2 Watt", 1100},
    {"Volt", 1000},
    {"CH1 KWh", 1400},
    {"CH2 KWh", 1400},
    {"CH1 Amp", 900},
    {"CH2 Amp", 900},
}};

const QString kWhole = QStringLiteral("###,##0");
const QString kTenths = QStringLiteral("###.0");
const QString kKwh = QStringLiteral("###,###.000");

} // namespace

void PostLogModel::insertPost(const PostLogRow &row)
{
    beginInsertRows({}, 0, 0);
    rows_.prepend(row);
    endInsertRows();
    if (rows_.size() > kMaxRows) {
        beginRemoveRows({}, kMaxRows, int(rows_.size()) - 1);
        rows_.resize(kMaxRows);
        endRemoveRows();
    }
}

void PostLogModel::clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int PostLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int PostLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant PostLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    if (role == Qt::DisplayRole)
        return cellText(rows_.at(index.row()), index.column());
    if (role == Qt::TextAlignmentRole && index.column() > 0)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant PostLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return columnTitle(section);
    if (role == Qt::SizeHintRole)
        return QSize(columnWidthTwips(section) / 15, 20); // 15 twips to a pixel at 96 dpi
    return {};
}

QString PostLogModel::columnTitle(int column)
{
    return QString::fromLatin1(kColumns.at(std::size_t(column)).title);
}

int PostLogModel::columnWidthTwips(int column)
{
    return kColumns.at(std::size_t(column)).widthTwips;
}

QString PostLogModel::cellText(const PostLogRow &row, int column)
{
    switch (column) {
    case 0: return row.triggerSource;
    case 1: return NumberFormat::pattern(row.change1, kWhole);
    case 2: return NumberFormat::pattern(row.change2, kWhole);
    case 3: return row.time.toString(QStringLiteral("HH:mm:ss"));
    case 4: return NumberFormat::pattern(row.watts1, kWhole);
    case 5: return NumberFormat::pattern(row.watts2, kWhole);
    case 6: return NumberFormat::pattern(row.volts, kTenths);
    case 7: return NumberFormat::pattern(row.kwh1, kKwh);
    case 8: return NumberFormat::pattern(row.kwh2, kKwh);
    case 9: return NumberFormat::pattern(row.amps1, kTenths);
    case 10: return NumberFormat::pattern(row.amps2, kTenths);
    default: return {};
    }
}

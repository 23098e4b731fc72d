#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QString>

// One post as the post log shows it: why it happened, the change values of the channels that
// fired (0 for the others) and the readings of the moment.
struct PostLogRow {
    QString triggerSource;
    qint32 change1 = 0;
    qint32 change2 = 0;
    QDateTime time;
    double watts1 = 0;
    double watts2 = 0;
    double volts = 0;
    double kwh1 = 0; // ws1Static in kWh
    double kwh2 = 0;
    double amps1 = 0;
    double amps2 = 0;
};

// The post log: newest row first, at most 1000 rows, each column's text by its pattern.
class PostLogModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 1000;
    static constexpr int kColumnCount = 11;

    using QAbstractTableModel::QAbstractTableModel;

    // Inserts the row at the top; the 1001st row, the oldest, goes.
    void insertPost(const PostLogRow &row);
    void clear();
    const PostLogRow &post(int row) const { return rows_.at(row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // A column's title and its width in 1/1440 inch, in column order.
    static QString columnTitle(int column);
    static int columnWidthTwips(int column);
    // The text of one cell.
    static QString cellText(const PostLogRow &row, int column);

private:
    QList<PostLogRow> rows_; // newest first
};

// What a list shows and what a file holds, for the tests of "Copy" and "Save...".
#pragma once

#include <QAbstractItemModel>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

#include <chrono>

namespace vq5::test {

// The rows as the list shows them: the model's displayed texts, tab-separated, one line per
// row (only the rows in `only` when it is not empty).
inline QByteArray ShownRows(const QAbstractItemModel& model, const QVector<int>& only = {}) {
    QByteArray out;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!only.isEmpty() && !only.contains(row))
            continue;
        for (int column = 0; column < model.columnCount(); ++column) {
            if (column > 0)
                out += '\t';
            out += model.data(model.index(row, column), Qt::DisplayRole).toString().toUtf8();
        }
        out += '\n';
    }
    return out;
}

// The file's bytes, or "<cannot read>".
inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<cannot read>");
    return f.readAll();
}

// A fixed log time: minute 5, second 7.123 of an hour (UTC), shown as " 5:07.12".
inline std::chrono::system_clock::time_point AtMinute5Second7Ms123() {
    return std::chrono::system_clock::time_point(
        std::chrono::milliseconds(1700000000000LL / 3600000 * 3600000 + 5 * 60000 + 7123));
}

} // namespace vq5::test

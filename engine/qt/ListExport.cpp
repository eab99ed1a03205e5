#include "ListExport.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>

#include <algorithm>

namespace vq5::qt {

QString ExportCellText(QString text) {
    for (QChar& c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

QString ModelRowsText(const QAbstractItemModel& model, const QVector<int>& rows) {
    const int columns = model.columnCount();
    const int count = model.rowCount();
    QString out;
    for (int row : rows) {
        if (row < 0 || row >= count)
            continue;
        for (int column = 0; column < columns; ++column) {
            if (column > 0)
                out += QLatin1Char('\t');
            out += ExportCellText(model.data(model.index(row, column), Qt::DisplayRole).toString());
        }
        out += QLatin1Char('\n');
    }
    return out;
}

QString ModelRowsText(const QAbstractItemModel& model) {
    QVector<int> rows(model.rowCount());
    for (int i = 0; i < rows.size(); ++i)
        rows[i] = i;
    return ModelRowsText(model, rows);
}

QVector<int> SelectedRows(const QAbstractItemView& view) {
    QVector<int> rows;
    const QItemSelectionModel* selection = view.selectionModel();
    if (!selection)
        return rows;
    for (const QModelIndex& index : selection->selectedIndexes()) {
        if (!index.parent().isValid())
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool WriteTextFile(const QString& path, const QString& text, QString& reason) {
    reason.clear();
    if (path.isEmpty()) {
        reason = QStringLiteral("No file name given");
        return false;
    }
    QSaveFile file(path);
    // A file that may be written in a folder that may not: written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        reason = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

QString SaveFailedText(const QString& path, const QString& reason) {
    return QStringLiteral("Could not write \"%1\":\n%2")
        .arg(path, reason.isEmpty() ? QStringLiteral("Unknown error") : reason);
}

bool SaveTextWithReport(QWidget* parent, const QString& path, const QString& text) {
    QString reason;
    if (WriteTextFile(path, text, reason))
        return true;
    QMessageBox::warning(parent, QStringLiteral("Save"), SaveFailedText(path, reason));
    return false;
}

bool ViewAtBottom(const QAbstractItemView& view) {
    const QScrollBar* bar = view.verticalScrollBar();
    return bar == nullptr || bar->value() >= bar->maximum();
}

bool AskAndSaveText(QWidget* parent, const std::function<QString()>& text) {
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save"), QString(),
                                                      QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return false;
    return SaveTextWithReport(parent, path, text ? text() : QString());
}

} // namespace vq5::qt

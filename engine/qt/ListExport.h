// Copy and save of a list's rows as text: one line per row, the columns' displayed texts
// separated by tabs. Used by the protocol log window and the emulator's message log.
#pragma once

#include <QString>
#include <QVector>

#include <functional>

class QAbstractItemModel;
class QAbstractItemView;
class QWidget;

namespace vq5::qt {

// The text of one cell as it goes into a line: what the list displays, with a line break
// (CR or LF) turned into a space so that every row stays one line. A tab inside the last column
// stays (the first tab of a line always ends the first column).
QString ExportCellText(QString text);

// The given rows of `model` (top-level rows, in the order given), each "col0\tcol1...\n".
QString ModelRowsText(const QAbstractItemModel& model, const QVector<int>& rows);
// All rows of `model`.
QString ModelRowsText(const QAbstractItemModel& model);
// The rows selected in `view`, top to bottom.
QVector<int> SelectedRows(const QAbstractItemView& view);

// True while `view` shows its last row (scrolled to the bottom, or nothing to scroll): a
// list that follows new rows scrolls to them only then, so a reader who scrolled up stays put.
bool ViewAtBottom(const QAbstractItemView& view);

// Writes `text` to `path` as UTF-8, replacing the file whole (a failed write leaves an old file
// as it was). On failure returns false with the system's reason in `reason`.
bool WriteTextFile(const QString& path, const QString& text, QString& reason);

// The message shown when a save fails: names the file and the system's reason.
QString SaveFailedText(const QString& path, const QString& reason);

// WriteTextFile, and on failure a warning box over `parent` with SaveFailedText.
bool SaveTextWithReport(QWidget* parent, const QString& path, const QString& text);

// Asks for a file name ("Save...": text files, or any file) and saves the text that `text` gives
// (taken after the file was chosen) there; false when cancelled or the write failed (reported).
bool AskAndSaveText(QWidget* parent, const std::function<QString()>& text);

} // namespace vq5::qt

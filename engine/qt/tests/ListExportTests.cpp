// Rows of a list as text (one line per row, columns separated by tabs) and writing them to a
// file, with the failure reported by a box that names the file and the system's reason.
#include "ListExport.h"
#include "ShownText.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace vq5::qt;

namespace {

using vq5::test::ReadFile;

bool WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void Fill(QStandardItemModel& model) {
    model.setColumnCount(2);
    const char* rows[][2] = {
        {" 5:07.12", "first"}, {" 5:07.13", "tab\tinside"}, {" 5:07.14", "line\nbreak\r"}, {" 5:07.15", ""}};
    for (const auto& r : rows)
        model.appendRow(
            {new QStandardItem(QString::fromUtf8(r[0])), new QStandardItem(QString::fromUtf8(r[1]))});
    model.appendRow({new QStandardItem(QStringLiteral(" 5:07.16")),
                     new QStandardItem(QStringLiteral("caf\u00e9 \u00ff"))});
}

} // namespace

class ListExportTest : public QObject {
    Q_OBJECT
private slots:
    void cellTextKeepsEverythingButLineBreaks() {
        QCOMPARE(ExportCellText(QStringLiteral("a\tb")), QStringLiteral("a\tb"));
        QCOMPARE(ExportCellText(QStringLiteral("a\nb\r\nc")), QStringLiteral("a b  c"));
        QCOMPARE(ExportCellText(QStringLiteral("\u00e9\u00ff")), QStringLiteral("\u00e9\u00ff"));
        QCOMPARE(ExportCellText(QString()), QString());
    }

    void rowsAreTabSeparatedLines() {
        QStandardItemModel model;
        Fill(model);
        QCOMPARE(ModelRowsText(model), QStringLiteral(" 5:07.12\tfirst\n"
                                                      " 5:07.13\ttab\tinside\n"
                                                      " 5:07.14\tline break \n"
                                                      " 5:07.15\t\n"
                                                      " 5:07.16\tcaf\u00e9 \u00ff\n"));
        // Chosen rows in the order given; rows that do not exist are left out.
        QCOMPARE(ModelRowsText(model, {3, 0, 7, -1}), QStringLiteral(" 5:07.15\t\n 5:07.12\tfirst\n"));
        QCOMPARE(ModelRowsText(model, {}), QString());
        QStandardItemModel empty;
        QCOMPARE(ModelRowsText(empty), QString());
    }

    void selectedRowsTopToBottomOnce() {
        QStandardItemModel model;
        Fill(model);
        QTableView view;
        view.setModel(&model);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        QCOMPARE(SelectedRows(view), QVector<int>());
        auto* sel = view.selectionModel();
        sel->select(model.index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel->select(model.index(1, 1), QItemSelectionModel::Select); // one cell of row 1
        sel->select(model.index(1, 0), QItemSelectionModel::Select);
        QCOMPARE(SelectedRows(view), QVector<int>({1, 4}));
        QCOMPARE(ModelRowsText(model, SelectedRows(view)),
                 QStringLiteral(" 5:07.13\ttab\tinside\n 5:07.16\tcaf\u00e9 \u00ff\n"));
    }

    void fileHoldsTheTextAsUtf8AndIsReplacedWhole() {
        QStandardItemModel model;
        Fill(model);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("rows.txt"));
        QVERIFY(WriteRaw(path, QByteArray(5000, 'x'))); // an older, longer file
        QString reason = QStringLiteral("stale");
        QVERIFY(WriteTextFile(path, ModelRowsText(model), reason));
        QCOMPARE(reason, QString());
        const QByteArray saved = ReadFile(path);
        QCOMPARE(saved, ModelRowsText(model).toUtf8());
        QVERIFY(saved.endsWith(QByteArray(" 5:07.16\tcaf\xc3\xa9 \xc3\xbf\n")));
        // An empty list makes an empty file.
        QVERIFY(WriteTextFile(path, QString(), reason));
        QCOMPARE(ReadFile(path), QByteArray());
    }

    void failuresGiveTheSystemsReason() {
        QTemporaryDir dir;
        QString reason;
        const QString missing = dir.filePath(QStringLiteral("no/such/folder/rows.txt"));
        QVERIFY(!WriteTextFile(missing, QStringLiteral("x\n"), reason));
        QCOMPARE(reason, SystemText(ENOENT));
        QVERIFY(!QFile::exists(missing));

        // Below a plain file: not a folder. The file stays as it was.
        const QString plain = dir.filePath(QStringLiteral("plain"));
        QVERIFY(WriteRaw(plain, "keep"));
        QVERIFY(!WriteTextFile(plain + QStringLiteral("/rows.txt"), QStringLiteral("x\n"), reason));
        QCOMPARE(reason, SystemText(ENOTDIR));
        QCOMPARE(ReadFile(plain), QByteArray("keep"));

        QVERIFY(!WriteTextFile(QString(), QStringLiteral("x"), reason));
        QVERIFY(!reason.isEmpty());

        QCOMPARE(SaveFailedText(QStringLiteral("/x/y.txt"), SystemText(ENOENT)),
                 QStringLiteral("Could not write \"/x/y.txt\":\n") + SystemText(ENOENT));
    }

    void aFailedSaveShowsABoxNamingFileAndReason() {
        QWidget parent;
        parent.show();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("no/such/folder/rows.txt"));
        QString caption, text;
        int boxes = 0;
        // Whatever box comes up is read and closed; the timer ends with the test.
        QTimer closer;
        closer.setInterval(20);
        connect(&closer, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box && box->isVisible()) {
                    ++boxes;
                    caption = box->windowTitle();
                    text = box->text();
                    box->accept();
                }
            }
        });
        closer.start();
        QVERIFY(!SaveTextWithReport(&parent, path, QStringLiteral("x\n")));
        closer.stop();
        QCOMPARE(boxes, 1);
        QCOMPARE(caption, QStringLiteral("Save"));
        QCOMPARE(text, SaveFailedText(path, SystemText(ENOENT)));

        // A save that works shows nothing.
        boxes = 0;
        closer.start();
        // A box would be modal: the call returns only after the closer took it away.
        QVERIFY(SaveTextWithReport(&parent, dir.filePath(QStringLiteral("ok.txt")), QStringLiteral("x\n")));
        closer.stop();
        QCOMPARE(boxes, 0);
        QCOMPARE(ReadFile(dir.filePath(QStringLiteral("ok.txt"))), QByteArray("x\n"));
    }
};

QTEST_MAIN(ListExportTest)
#include "ListExportTests.moc"

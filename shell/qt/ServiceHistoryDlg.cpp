#include "ServiceHistoryDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vq5::qt {
namespace {

QTableWidget* MakeTable(const QStringList& headers, QWidget* parent) {
    auto* t = new QTableWidget(0, int(headers.size()), parent);
    t->setHorizontalHeaderLabels(headers);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void SetRow(QTableWidget* t, int row, const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c)
        t->setItem(row, c, new QTableWidgetItem(cells[c]));
}

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

CServiceHistoryDlg::CServiceHistoryDlg(const QString& identification, std::vector<record::Visit> visits,
                                       const QString& note, QWidget* parent)
    : QDialog(parent), m_List(std::move(visits)) {
    setWindowTitle(QStringLiteral("Service history"));
    setObjectName(QStringLiteral("serviceHistory"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Visits to %1:")
            .arg(identification.isEmpty() ? QStringLiteral("(no device identified)") : identification),
        this));
    m_Visits = MakeTable({QStringLiteral("Started"), QStringLiteral("Tool"), QStringLiteral("Operator"),
                          QStringLiteral("Port"), QStringLiteral("Version"), QStringLiteral("Configuration"),
                          QStringLiteral("Outcome")},
                         this);
    m_Visits->setSelectionMode(QAbstractItemView::MultiSelection);
    m_Visits->setRowCount(int(m_List.size()));
    for (int r = 0; r < int(m_List.size()); ++r) {
        const record::Visit& v = m_List[std::size_t(r)];
        SetRow(m_Visits, r,
               {Text(v.started), Text(v.tool), Text(v.operatorName), Text(v.port), Text(v.version),
                Text(v.configId), Text(v.outcome)});
    }
    m_Visits->resizeColumnsToContents();
    layout->addWidget(m_Visits, 3);
    m_Note = new QLabel(this);
    m_Note->setWordWrap(true);
    layout->addWidget(m_Note);
    m_Changes = MakeTable(
        {QStringLiteral("Setting"), QStringLiteral("Older visit"), QStringLiteral("Newer visit")}, this);
    m_Changes->setSelectionMode(QAbstractItemView::NoSelection);
    layout->addWidget(m_Changes, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_Visits, &QTableWidget::itemSelectionChanged, this, [this] { ShowChanges(); });
    if (m_List.empty())
        m_Note->setText(note.isEmpty() ? QStringLiteral("The service record holds no visit to this device.")
                                       : note);
    ShowChanges();
    resize(760, 480);
}

void CServiceHistoryDlg::ShowChanges() {
    m_Changes->setRowCount(0);
    std::vector<int> rows;
    for (const QModelIndex& i : m_Visits->selectionModel()->selectedRows())
        rows.push_back(i.row());
    if (m_List.empty())
        return;
    if (rows.size() != 2) {
        m_Note->setText(QStringLiteral("Select two visits to see what changed between them."));
        return;
    }
    std::sort(rows.begin(), rows.end()); // newest first: the larger row is the older visit
    const record::Visit& newer = m_List[std::size_t(rows[0])];
    const record::Visit& older = m_List[std::size_t(rows[1])];
    const std::vector<record::Difference> diffs = record::ConfigDifferences(older, newer);
    m_Note->setText(diffs.empty() ? QStringLiteral("The configuration is the same in both visits.")
                                  : QStringLiteral("%1 setting(s) changed from %2 to %3:")
                                        .arg(diffs.size())
                                        .arg(Text(older.started), Text(newer.started)));
    const QString notRead = QStringLiteral("(not read)");
    m_Changes->setRowCount(int(diffs.size()));
    for (int r = 0; r < int(diffs.size()); ++r) {
        const record::Difference& d = diffs[std::size_t(r)];
        SetRow(m_Changes, r,
               {Text(d.key), d.before ? Text(*d.before) : notRead, d.after ? Text(*d.after) : notRead});
        // The new value stands out.
        QFont bold = m_Changes->item(r, 2)->font();
        bold.setBold(true);
        m_Changes->item(r, 2)->setFont(bold);
        m_Changes->item(r, 2)->setBackground(QColor(255, 240, 170));
    }
    m_Changes->resizeColumnsToContents();
}

} // namespace vq5::qt

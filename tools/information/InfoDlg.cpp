#include "InfoDlg.h"

#include "DialogControls.h"
#include "InfoTable.h"
#include "ListExport.h"
#include "ServiceReport.h"
#include "WindowBinding.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTreeWidget>

#include <algorithm>

namespace vq5::information {

namespace {

qt::ToolInfo InfoToolInfo() {
    qt::ToolInfo info = qt::MakeToolInfo(QStringLiteral("VQ5WInfo"), QStringLiteral("VQ-5 Information"),
                                         qt::ToolInfo::TestStyle, 132);
    info.serviceHistory = true;
    return info;
}

struct ButtonDef {
    int id;
    const char* text;
    std::uint32_t group;
    int x, y; // dialog units
};

// The "Actions" frame: two columns of three.
const ButtonDef kButtons[6] = {
    {1003, "Version", gVersion, 198, 114}, {1004, "Data Calls", gDataCalls, 249, 114},
    {1006, "RCS Id's", gRcsIds, 198, 129}, {1007, "Settings", gSettings, 249, 129},
    {1008, "Misc.", gMisc, 198, 144},      {1009, "All info", gAllInfo, 249, 144},
};

QString DeviceText(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

int ItemColumnWidth(const QWidget* dialog) {
    const int base = qt::DialogUnits(dialog).x;
    int width = base > 0 ? (100 * base + 3) / 6 : 100;
    // Fonts differ in shape as well as size: never narrower than the widest label.
    const QFontMetrics fm(dialog->font());
    for (const InfoRow* row = kInfoTable; row->command; ++row)
        if (!(row->mask & gFilter))
            width = std::max(width, fm.horizontalAdvance(QString::fromLatin1(row->label)) + 12);
    return width;
}

CInfoDlg::CInfoDlg(ISettingsStore* store, QWidget* parent)
    : CToolEngineHolder(store), qt::CToolDialog(InfoToolInfo(), m_Engine, parent) {
    QWidget* body = Body();
    SetBodySize(qt::DluSize(this, 307, 186));

    m_List = qt::Placed(this, new QTreeWidget(body), QStringLiteral("1002"), QRect(7, 7, 293, 93));
    m_List->setColumnCount(2);
    m_List->setHeaderLabels({QStringLiteral("Item"), QStringLiteral("Value")});
    m_List->setRootIsDecorated(false);
    m_List->setUniformRowHeights(true);
    // Several rows may be selected, to be copied together.
    m_List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_List->setFrameShape(QFrame::StyledPanel);
    m_List->header()->setStretchLastSection(true);
    m_List->header()->setSectionsMovable(false);
    // 100 pixels with the 6-pixel character cell of the classic 8-point dialog font; the
    // same share of this font's cell, so that the longest label fits as it always did.
    m_List->setColumnWidth(0, ItemColumnWidth(this));
    m_List->setColumnWidth(1, ItemColumnWidth(this));

    // Ctrl+C while the list has the focus.
    m_Copy = new QAction(QStringLiteral("Copy"), m_List);
    m_Copy->setShortcut(QKeySequence::Copy);
    m_Copy->setShortcutContext(Qt::WidgetShortcut);
    m_List->addAction(m_Copy);
    connect(m_Copy, &QAction::triggered, this, [this] { CopySelectedRows(); });
    m_List->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_List, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowListMenu(pos); });

    m_Placeholder = qt::Placed(this, new QGroupBox(QStringLiteral("Engine"), body), QStringLiteral("1001"),
                               QRect(7, 104, 182, 75));

    qt::Placed(this, new QGroupBox(QStringLiteral("Actions"), body), QStringLiteral("actions"),
               QRect(193, 104, 107, 58));
    for (int i = 0; i < 6; ++i) {
        const ButtonDef& d = kButtons[i];
        auto* b = new QPushButton(QString::fromLatin1(d.text), body);
        b->setObjectName(QString::number(d.id));
        b->setAutoDefault(false);
        b->setGeometry(qt::DluRect(this, d.x, d.y, 46, 14));
        const std::uint32_t group = d.group;
        connect(b, &QPushButton::clicked, this, [this, group] { Request(group); });
        m_Buttons[i] = b;
    }

    m_Clear = qt::PlacedButton(this, body, QStringLiteral("&Clear"), QStringLiteral("1010"),
                               QRect(193, 165, 50, 14), [this] { ClearList(); });

    m_Exit = qt::PlacedButton(
        this, body, QStringLiteral("Exit"), QStringLiteral("1"), QRect(250, 165, 50, 14),
        [this] { RunCommand(qt::cmdExit); }, qt::ButtonRole::Default);

    // Expert test, placement, columns, then the engine in place of the placeholder.
    InitDialog(m_Placeholder);
    SizeValueColumn();
}

CInfoDlg::~CInfoDlg() {
    Shutdown();
}

QPushButton* CInfoDlg::Button(std::uint32_t groupBit) const {
    for (int i = 0; i < 6; ++i)
        if (kButtons[i].group == groupBit)
            return m_Buttons[i];
    return nullptr;
}

void CInfoDlg::Request(std::uint32_t groupBit) {
    // No control data to take: the list is not an input.
    QueueRequest(Engine(), groupBit, ExpertMode());
}

void CInfoDlg::ClearList() {
    m_List->clear();
}

QString CInfoDlg::SelectedRowsText() const {
    return qt::ModelRowsText(*m_List->model(), qt::SelectedRows(*m_List));
}

void CInfoDlg::CopySelectedRows() {
    const QString text = SelectedRowsText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void CInfoDlg::ShowListMenu(const QPoint& pos) {
    auto* menu = new QMenu(m_List);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(QStringLiteral("Copy"));
    copy->setEnabled(!qt::SelectedRows(*m_List).isEmpty());
    connect(copy, &QAction::triggered, this, [this] { CopySelectedRows(); });
    menu->popup(m_List->viewport()->mapToGlobal(pos));
}

void CInfoDlg::OnNotify(const Notification& n) {
    if (n.kind != nkReceived)
        return; // status, progress and identification are the status box's
    for (const ListRow& row : RowsForReply(n.text)) {
        AddRow(row.item, row.value);
        RecordRead(row.item == "Counters" ? record::kKindCounters : record::kKindInfo, row.item, row.value);
    }
}

void CInfoDlg::FillReport(record::ReportInput& report) const {
    for (int i = 0; i < m_List->topLevelItemCount(); ++i)
        report.info.emplace_back(m_List->topLevelItem(i)->text(0).toStdString(),
                                 m_List->topLevelItem(i)->text(1).toStdString());
}

void CInfoDlg::AddRow(const std::string& item, const std::string& value) {
    auto* it = new QTreeWidgetItem(m_List);
    it->setText(0, DeviceText(item));
    it->setText(1, DeviceText(value));
    // The column may cut a long value ("All the flags"): the tooltip shows it whole.
    it->setToolTip(1, it->text(1));
    m_List->scrollToItem(it);
}

void CInfoDlg::OnManual() {
    const QString text = QStringLiteral("No HELP availeble!");
    Information(text);
}

void CInfoDlg::SizeValueColumn() {
    // Column 1 fills what column 0 leaves of the header.
    const int rest = m_List->header()->width() - m_List->columnWidth(0);
    if (rest > 0)
        m_List->setColumnWidth(1, rest);
}

void CInfoDlg::resizeEvent(QResizeEvent* event) {
    qt::CToolDialog::resizeEvent(event);
    SizeValueColumn();
}

void CInfoDlg::showEvent(QShowEvent* event) {
    qt::CToolDialog::showEvent(event);
    SizeValueColumn();
}

} // namespace vq5::information

// CInfoDlg: the main dialog of VQ5WInfo, "VQ-5 Information".
//
// Six buttons request groups of rows of the information item table; every reply the device
// sends back is matched against the same table and listed as an Item/Value row. The tool
// only queries: it never changes the device. A value cell's tooltip holds its whole text;
// "Copy" (Ctrl+C, or the list's context menu) puts the selected rows on the clipboard.
#pragma once

#include "ToolDialog.h"
#include "VLPEngine.h"

#include <cstdint>

class QAction;
class QGroupBox;
class QPoint;
class QPushButton;
class QTreeWidget;

namespace vq5::information {

// Width of the "Item" column: 100 pixels of the classic dialog font, scaled to this one, and
// wide enough for the longest label.
int ItemColumnWidth(const QWidget* dialog);

class CInfoDlg : private qt::CToolEngineHolder<CVLPEngine>, public qt::CToolDialog {
public:
    // `store`: where the engine keeps its connection settings (nullptr: the tool's own).
    explicit CInfoDlg(ISettingsStore* store = nullptr, QWidget* parent = nullptr);
    ~CInfoDlg() override;

    // A request button: program-mode entry, one query per selected row, exit.
    void Request(std::uint32_t groupBit);
    // "&Clear": deletes every row of the list.
    void ClearList();
    // The selected rows, top to bottom, as "item<TAB>value" lines.
    QString SelectedRowsText() const;
    // "Copy": SelectedRowsText to the clipboard (nothing selected: the clipboard stays).
    void CopySelectedRows();
    // The list's context menu at `pos` (viewport coordinates): "Copy", enabled with a selection.
    void ShowListMenu(const QPoint& pos);

    QTreeWidget* List() const { return m_List; }
    QPushButton* Button(std::uint32_t groupBit) const;
    QPushButton* ClearButton() const { return m_Clear; }
    QPushButton* ExitButton() const { return m_Exit; }
    QAction* CopyAction() const { return m_Copy; }

protected:
    void OnNotify(const Notification& n) override;
    void OnManual() override;
    void FillReport(record::ReportInput& report) const override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void AddRow(const std::string& item, const std::string& value);
    void SizeValueColumn();

    QTreeWidget* m_List = nullptr;
    QGroupBox* m_Placeholder = nullptr;
    QPushButton* m_Buttons[6] = {};
    QPushButton* m_Clear = nullptr;
    QPushButton* m_Exit = nullptr;
    QAction* m_Copy = nullptr; // Ctrl+C on the list
};

} // namespace vq5::information

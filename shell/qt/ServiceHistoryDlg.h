// "Service history": the visits to one device (by its identification) from the service
// record, newest first; for two selected visits, the configuration settings that differ
// between the older and the newer one.
#pragma once

#include "ServiceRecord.h"

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QTableWidget;

namespace vq5::qt {

class CServiceHistoryDlg : public QDialog {
    Q_OBJECT
public:
    // `visits` newest first; `note` is shown when there are none (why none can be shown).
    CServiceHistoryDlg(const QString& identification, std::vector<record::Visit> visits, const QString& note,
                       QWidget* parent = nullptr);

    QTableWidget* Visits() const { return m_Visits; }
    QTableWidget* Changes() const { return m_Changes; }
    QLabel* Note() const { return m_Note; }

private:
    void ShowChanges();

    std::vector<record::Visit> m_List;
    QTableWidget* m_Visits = nullptr;
    QTableWidget* m_Changes = nullptr;
    QLabel* m_Note = nullptr;
};

} // namespace vq5::qt

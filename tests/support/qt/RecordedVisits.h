// The service record read back by a dialog suite.
#pragma once

#include "RecordWriter.h"
#include "ServiceRecord.h"
#include "SettingsStore.h"

#include <QtTest>

#include <string>
#include <vector>

namespace vq5::test {

// Points the tool's settings (`store`) at a service record "record.db" in `folder` and
// returns its path.
inline std::string KeepRecordIn(ISettingsStore& store, const std::string& folder) {
    const std::string where = folder + "/record.db";
    store.WriteString(record::kSection, record::kKeyDatabase, where);
    return where;
}

// The visits the record at `where` holds, newest first. A record that cannot be opened fails
// the running test and gives no visits.
inline std::vector<record::Visit> RecordedVisits(const std::string& where) {
    std::string error;
    const auto record = record::CServiceRecord::Open(where, error);
    if (!record) {
        QTest::qFail(("the service record does not open: " + error).c_str(), __FILE__, __LINE__);
        return {};
    }
    return record->List({}, error);
}

// The values a visit wrote to the device, in order.
inline std::vector<std::string> WrittenValues(const record::Visit& visit) {
    std::vector<std::string> written;
    for (const record::VisitItem& item : visit.items)
        if (item.kind == record::kKindWritten)
            written.push_back(item.value);
    return written;
}

} // namespace vq5::test

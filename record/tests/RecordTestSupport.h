// The databases the record's tests run on: a fresh SQLite file, and the PostgreSQL server
// named by VQ5_TEST_PG_URL when it is set.
#pragma once

#include "ServiceRecord.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace vq5::record::test {

inline std::string FreshFolder(const std::string& tag) {
    static std::atomic<int> n{0};
    const auto base = std::filesystem::temp_directory_path() /
                      ("vq5-record-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base);
    return base.string();
}

inline const char* PostgresUrl() {
    const char* url = std::getenv("VQ5_TEST_PG_URL");
    return url && *url ? url : nullptr;
}

// A text no other run uses, so that tests on a shared server see only their own visits.
inline std::string Unique(const std::string& tag) {
    static std::atomic<int> n{0};
    return tag + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
           std::to_string(n++);
}

// "SQLite" gives a new file; "PostgreSQL" the test server, or an empty text.
inline std::string DatabaseFor(const std::string& kind) {
    if (kind == "SQLite")
        return FreshFolder("db") + "/record.db";
    const char* url = PostgresUrl();
    return url ? url : "";
}

#define VQ5_NEED_DATABASE(where)                                                                             \
    if ((where).empty())                                                                                     \
    GTEST_SKIP() << "no PostgreSQL server: set VQ5_TEST_PG_URL (scripts/test.sh starts one)"

} // namespace vq5::record::test

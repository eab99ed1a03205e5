// Harness of the information tool's reply matching and value formatting.
#include "FuzzHarness.h"
#include "FuzzSupport.h"

#include "InfoTable.h"

namespace vq5::fuzz {

namespace info = vq5::information;

// Input: the received text.
int FuzzInformationReplies(const std::uint8_t* data, std::size_t size) {
    static const char* h = "information_replies";
    const std::string_view reply(reinterpret_cast<const char*>(data), size);

    std::size_t expected = 0;
    for (const info::InfoRow* row = info::kInfoTable; row->command; ++row) {
        const bool matches = info::RowMatches(*row, reply);
        const std::string value = info::FormatValue(*row, reply);
        VQ5_FUZZ_CHECK(h, value.size() <= info::kMaxValueText,
                       "value text of " + std::to_string(value.size()));
        if (reply.size() <= 4)
            VQ5_FUZZ_CHECK(h, value.empty(), "a value from a reply without a fifth character");
        if (row->display == info::dtSuppress)
            VQ5_FUZZ_CHECK(h, value.empty(), "a suppressed row shows a value");
        if (row->display == info::dtText && reply.size() > 4) {
            const std::string_view tail = reply.substr(4, info::kMaxValueText);
            VQ5_FUZZ_CHECK(h, value == tail, "text value is not the reply's tail");
        }
        if (row->display == info::dtFlag && reply.size() > 4)
            VQ5_FUZZ_CHECK(h, value == (reply[4] == '1' ? "Flag: On" : "Flag: Off"), "flag value " + value);
        if (matches && !reply.empty() && reply[0] == '&' && !value.empty())
            ++expected;
    }
    const auto rows = info::RowsForReply(reply);
    VQ5_FUZZ_CHECK(h, rows.size() == expected,
                   "rows " + std::to_string(rows.size()) + ", expected " + std::to_string(expected));
    for (const auto& r : rows)
        VQ5_FUZZ_CHECK(h, !r.item.empty() && !r.value.empty(), "an empty list row");
    return 0;
}

} // namespace vq5::fuzz

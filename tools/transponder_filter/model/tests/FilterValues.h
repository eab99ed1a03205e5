// The four filter values of a model as one value for a check: window, minimal, offset, stable.
#pragma once

#include "TransponderModel.h"

#include <array>

namespace vq5::tct {

using FilterValues = std::array<int, 4>;

inline FilterValues ValuesOf(const CTransponderModel& m) {
    return {m.m_Window, m.m_Minimal, m.m_Offset, m.m_Stable};
}

} // namespace vq5::tct

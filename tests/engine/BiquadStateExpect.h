// Two sections' histories equal value for value, each field named on failure:
// the run and block forms must leave a section exactly where its per-sample form
// leaves it.
#pragma once

#include "engine/BiquadFilter.h"

#include <gtest/gtest.h>

namespace zel::test {

inline void expectSameBiquadState(const BiquadState& got, const BiquadState& want) {
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.x1, want.x1);
    EXPECT_EQ(got.x2, want.x2);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.y1, want.y1);
    EXPECT_EQ(got.y2, want.y2);
}

} // namespace zel::test

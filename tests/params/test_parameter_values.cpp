#include "params/ParameterValues.h"
#include "params/ParameterTable.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace zel;

const std::set<int> kNoSetting{36, 57, 59, 64, 65, 66, 67, 71, 73, 81, 82, 83, 84, 108};
const std::set<int> kDoubleKept{15, 46, 47, 48, 49, 50, 51, 52,  56,
                                60, 80, 85, 86, 89, 92, 95, 113, 114};
const std::set<int> kGlobal{0, 1, 2, 3, 4, 35};

TEST(ParameterTable, StorageScopeAndSteppingOfEveryIndex) {
    for (int i = 0; i < kNumParameters; ++i) {
        const ParameterRow* row = parameterRow(i);
        ASSERT_NE(row, nullptr) << i;
        const Storage expected = kNoSetting.count(i)    ? Storage::None
                                 : kDoubleKept.count(i) ? Storage::Double
                                                        : Storage::Float;
        EXPECT_EQ(parameterStorage(i), expected) << "index " << i;
        EXPECT_EQ(isGlobalParameter(i), kGlobal.count(i) == 1) << "index " << i;
        EXPECT_EQ(row->scope == Scope::Tuning, i >= 36) << "index " << i;
        const Stepping stepping = i == 0 || i == 1 || i == 3 || i == 4 ? Stepping::Switch
                                  : i == 10                            ? Stepping::Fifths
                                  : i == 12                            ? Stepping::Halves
                                  : i == 14                            ? Stepping::Quarters
                                                                       : Stepping::Continuous;
        EXPECT_EQ(row->stepping, stepping) << "index " << i;
    }
    EXPECT_EQ(parameterRow(-1), nullptr);
    EXPECT_EQ(parameterRow(kNumParameters), nullptr);
    EXPECT_EQ(parameterStorage(-1), Storage::None);
    EXPECT_FALSE(isGlobalParameter(120));
}

TEST(ParameterValues, KeepsTheLastValueOfEveryIndexWithASetting) {
    ParameterValues values;
    for (int i = 0; i < kNumParameters; ++i) EXPECT_EQ(values.get(i), 0.0) << i;
    // A distinct value per index, so a slot mix-up shows.
    for (int i = 0; i < kNumParameters; ++i)
        EXPECT_EQ(values.set(i, 0.001f * static_cast<float>(i + 1)), kNoSetting.count(i) == 0);
    for (int i = 0; i < kNumParameters; ++i) {
        const float expected = kNoSetting.count(i) ? 0.0f : 0.001f * static_cast<float>(i + 1);
        EXPECT_EQ(values.getFloat(i), expected) << "index " << i;
        EXPECT_EQ(values.get(i), static_cast<double>(expected)) << "index " << i;
    }
    values.set(15, 0.25f);
    values.set(15, 0.75f);
    EXPECT_EQ(values.get(15), 0.75);
}

TEST(ParameterValues, IndicesOutsideTheTableAreIgnored) {
    ParameterValues values;
    EXPECT_FALSE(values.set(-1, 1.0f));
    EXPECT_FALSE(values.set(120, 1.0f));
    EXPECT_FALSE(values.set(1 << 30, 1.0f));
    EXPECT_EQ(values.get(-1), 0.0);
    EXPECT_EQ(values.get(120), 0.0);
    for (int i = 0; i < kNumParameters; ++i) EXPECT_EQ(values.get(i), 0.0) << i;
}

} // namespace

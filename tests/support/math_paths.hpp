#pragma once
// Tests run once per vector-math path: each instance makes its path the one in use (skipping
// where this processor lacks it) and restores the previous one afterwards.
#include <gtest/gtest.h>

#include "matrix/vector_math.hpp"

namespace plattor {

class OnEachMathPath : public ::testing::TestWithParam<MathPath> {
protected:
    void SetUp() override {
        if (!useMathPath(GetParam())) GTEST_SKIP() << "SKIPPED: this processor has no " << mathPathName(GetParam()) << " path";
    }
    void TearDown() override { useMathPath(previous_); }

private:
    MathPath previous_ = mathPath();
};

inline std::string mathPathTestName(const ::testing::TestParamInfo<MathPath>& info) { return mathPathName(info.param); }

#define PLATTOR_INSTANTIATE_ON_EACH_MATH_PATH(suite)                                                          \
    INSTANTIATE_TEST_SUITE_P(Paths, suite,                                                                   \
                             ::testing::Values(MathPath::scalar, MathPath::avx2, MathPath::avx512), mathPathTestName)

}  // namespace plattor

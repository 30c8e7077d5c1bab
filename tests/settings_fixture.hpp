#pragma once
// Tests of units that still read the run record start and end with a fresh one.

#include <gtest/gtest.h>

#include "settings.hpp"

namespace skarven::test {

struct SettingsTest : ::testing::Test {
    void SetUp() override { run_record = RunSettings{}; }
    void TearDown() override { run_record = RunSettings{}; }
};

}  // namespace skarven::test

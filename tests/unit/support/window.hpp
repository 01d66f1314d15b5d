// A fresh screen layer with the copier's window: 800x400, 100x25 cells of
// 8x16, on the headless backend. Tests of the screen and toolkit derive from it.
#pragma once
#include <gtest/gtest.h>

#include "screen/screen.hpp"
#include "screen/testing.hpp"

namespace testsupport {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        screen::testing::reset();
        ASSERT_EQ(screen::SCREEN_OPEN(800, 400, 32), 0);
        ASSERT_EQ(screen::TEXT_WIDTH(100, 25), 0);
    }
    void TearDown() override { screen::testing::reset(); }
};

} // namespace testsupport

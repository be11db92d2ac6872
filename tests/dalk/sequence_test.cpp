#include <gtest/gtest.h>
#include <dalk/dalk.hpp>

TEST(SequenceTest, CursorMoveIsRowFirst) {
  EXPECT_EQ(dalk::escape(dalk::Point{4, 9}), "\x1b[10;5H");
}

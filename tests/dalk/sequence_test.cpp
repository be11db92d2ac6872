#include <dalk/dalk.hpp>
#include <gtest/gtest.h>

TEST(SequenceTest, CursorMoveIsRowFirst) {
  EXPECT_EQ(dalk::escape(dalk::Point{4, 9}), "\x1b[10;5H");
}

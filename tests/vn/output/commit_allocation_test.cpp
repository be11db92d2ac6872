// A commit in steady state (same size, buffers warmed up) must not touch the heap. Counting
// replaces the global allocation functions for this test program; they count only while a
// test asks them to.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include <vn/vn.hpp>

#include "support/process.hpp"

namespace {

std::atomic<bool> counting{false};
std::atomic<int> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) {
    allocations.fetch_add(1, std::memory_order_relaxed);
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc{};
}

// The replacement pair is malloc/free on purpose; GCC cannot tell it from a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

void operator delete(void* p, std::size_t) noexcept {
  ::operator delete(p);
}

namespace {

// The default profile, then the compact one with colours adapted.
class CommitAllocationTest : public ::testing::TestWithParam<dalk::Extensions> {};

TEST_P(CommitAllocationTest, SteadyStateCommitDoesNotAllocate) {
  vn::detail::OutputProfile const profile = vn::detail::output_profile(GetParam());
  dalk::Area const area{200, 60};
  vn::Terminal::changes.resize(area);
  vn::Terminal::changes.fill(dalk::Glyph{});
  vn::ScreenBuffer screen;
  std::string escape_buffer;
  int frame = 0;
  // Every frame differs from the previous one in every cell, with a true-colour brush that
  // changes along each row, so the buffer carries the largest sequences there are.
  auto paint = [&] {
    ++frame;
    for (int y = 0; y < area.height; ++y) {
      for (int x = 0; x < area.width; ++x) {
        auto const shade = static_cast<std::uint8_t>(x + frame);
        vn::Terminal::changes[{x, y}] =
            dalk::Glyph{static_cast<char32_t>(U'a' + (x + y + frame) % 26),
                        dalk::Brush{dalk::TrueColor{shade, 255, 255}, dalk::XColor{200},
                                    dalk::Trait::Standout | dalk::Trait::DoubleUnderline}};
      }
    }
    vn::Terminal::cursor = dalk::Point{frame % area.width, area.height - 1};
  };
  int counted = -1;
  vennic::test::capture_stdout([&] {
    for (int warm_up = 0; warm_up < 2; ++warm_up) {
      paint();
      vn::detail::commit_changes(screen, escape_buffer, profile);
    }
    paint();
    allocations = 0;
    counting = true;
    vn::detail::commit_changes(screen, escape_buffer, profile);
    counting = false;
    counted = allocations;
  });
  EXPECT_EQ(counted, 0);
}

INSTANTIATE_TEST_SUITE_P(Profiles, CommitAllocationTest,
                         ::testing::Values(dalk::Extensions{}, dalk::Extension::CompactOutput |
                                                                   dalk::Extension::RepeatGlyph |
                                                                   dalk::Extension::Colors256));

}  // namespace

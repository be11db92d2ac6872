// Test helper: the frame a paint from a blank grid gives (the tree, then each open overlay over
// a blanked rectangle), the reference for frames that keep cells.
#pragma once

#include <optional>
#include <string>

#include <vn/dispatch.hpp>
#include <vn/screen_buffer.hpp>

namespace vennic::test {

struct FreshFrame {
  vn::ScreenBuffer grid;
  /// Only an overlay's widgets show the cursor while one is open.
  std::optional<dalk::Point> cursor;
};

/// `head` painted whole into a blank grid of `area`, then the open overlays.
FreshFrame fresh_frame(vn::Widget& head, dalk::Area area);

/// The first cell where two grids of one size differ, for a failure message shorter than both.
std::string first_difference(vn::ScreenBuffer const& kept, vn::ScreenBuffer const& fresh);

}  // namespace vennic::test

// A widget that records how its layout placed it, for the layout tests.
#pragma once

#include <vn/widget.hpp>

namespace vennic::test {

struct LayoutProbe : vn::Widget {
  LayoutProbe() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex(1.0F)} {}
  explicit LayoutProbe(vn::SizePolicy policy) : Widget{vn::FocusPolicy::None, policy} {}

  void resize(dalk::Area previous) override {
    ++resizes;
    previous_size = previous;
    at_seen = at;
    size_seen = size;
  }

  int resizes = 0;
  dalk::Area previous_size{-1, -1};
  dalk::Point at_seen{-1, -1};
  dalk::Area size_seen{-1, -1};
};

}  // namespace vennic::test

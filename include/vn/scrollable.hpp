// What a scroll bar needs of a widget that shows a window onto a longer sequence of lines or
// rows: where the window starts, how long it is, how long the whole is, a way to move it, and
// word when any of that changes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "nerv/signal.hpp"

namespace vn {

/// A scroll state in lines (or rows, or items): `position` is the first one shown, `page` how
/// many fit, `total` how many there are.
struct ScrollState {
  std::int64_t position = 0;
  std::int64_t page = 0;
  std::int64_t total = 0;

  friend constexpr bool operator==(ScrollState, ScrollState) = default;
};

/// Implemented by widgets that scroll (text box, list, data table) beside deriving from
/// vn::Widget. Event-loop thread only.
class Scrollable {
 public:
  virtual ~Scrollable() = default;

  /// The state as of the widget's last paint or change.
  virtual ScrollState scroll_state() const = 0;
  /// Shows `position` first, clamped to what the widget allows. Emits nothing; the next paint
  /// reports the outcome.
  virtual void scroll_to(std::int64_t position) = 0;
  /// Calls `f` with the state whenever the widget reports it (see each widget for when).
  virtual nerv::Identifier on_scroll(std::function<void(ScrollState)> f) = 0;

 protected:
  Scrollable() = default;
  Scrollable(Scrollable const&) = default;
  Scrollable(Scrollable&&) noexcept = default;
  Scrollable& operator=(Scrollable const&) = default;
  Scrollable& operator=(Scrollable&&) noexcept = default;
};

/// A Scrollable that reports through a signal of its own: the widget calls report_scroll()
/// when it paints, and `scrolled` carries the state only when it differs from the last one
/// reported.
class ReportingScrollable : public Scrollable {
 public:
  /// Connected to `scrolled`.
  nerv::Identifier on_scroll(std::function<void(ScrollState)> f) override {
    return scrolled.connect(std::move(f));
  }

  /// Emitted by a paint whose scroll state differs from the last one reported.
  nerv::Signal<void(ScrollState)> scrolled;

 protected:
  /// Emits `scrolled` with scroll_state() when that differs from the last one reported.
  void report_scroll() {
    if (ScrollState const state = scroll_state(); reported_ != state) {
      reported_ = state;
      scrolled.emit(state);
    }
  }

 private:
  std::optional<ScrollState> reported_;
};

}  // namespace vn

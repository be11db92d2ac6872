// Keyboard focus: one process-wide weak reference to the focused widget. It moves by mouse
// press and by Tab / Shift+Tab (see Application), or by user code; it expires by itself when
// the focused widget is destroyed. Event-loop thread only.
#pragma once

#include "vn/widget.hpp"

namespace vn {

class Focus {
 public:
  /// Calls focus_out() on the focused widget (if any), then focus_in() on w, also when w
  /// already has focus. Any widget may be given focus, whatever its policy.
  static void set(Widget& w);
  /// Calls focus_out() on the focused widget (if any); afterwards nothing has focus.
  static void clear();
  /// The focused widget, or null when nothing has focus or it no longer exists.
  static Widget* get();

  static LifetimeView<Widget> in_focus_;
};

}  // namespace vn

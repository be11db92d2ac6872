// What a TreeDispatcher owns besides its head. Overlays and function timers register with the
// state of "the" dispatcher and keep a weak reference to it, so a dispatcher that goes first
// leaves them harmless. Event-loop thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "dalk/io.hpp"
#include "vn/dispatch.hpp"
#include "vn/overlay.hpp"
#include "vn/widget.hpp"

namespace vn::detail {

/// A function timer's function: its handle owns it, the dispatcher finds it by timer id.
struct TimerFunction {
  std::function<void()> function;
  bool repeat = true;
  /// False once stopped, and for a one-shot timer once it has fired.
  bool running = true;
};

struct DispatchState : std::enable_shared_from_this<DispatchState> {
  struct Binding {
    BindingId id;
    dalk::Key key;
    std::function<void()> action;
  };

  /// The open overlays, bottom first; entries of destroyed overlays are dropped.
  std::vector<Overlay*> open_overlays();
  /// The topmost open overlay, or null.
  Overlay* top_overlay();
  /// Runs the function of the function timer with this id, if it is running; a one-shot timer
  /// stops first.
  void run_timer_function(int id);
  /// Runs the latest binding of exactly this key; false when there is none.
  bool run_binding(dalk::Key key);

  std::vector<LifetimeView<Overlay>> overlays;
  std::map<int, std::weak_ptr<TimerFunction>> timer_functions;
  std::vector<Binding> bindings;
  std::uint64_t bindings_made = 0;
};

/// The state of "the" dispatcher (vn/dispatch.hpp says which one that is); when no dispatcher
/// lives, a state the next one constructed takes over.
std::shared_ptr<DispatchState> current_dispatch_state();

}  // namespace vn::detail

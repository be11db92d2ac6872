// The events the event loop handles: the terminal layer's input events and the widget layer's
// own, and the quit request that ends the loop.
#pragma once

#include <functional>
#include <optional>
#include <variant>

#include "dalk/io.hpp"

namespace vn {

/// The value Application::run() returns.
struct QuitRequest {
  int return_code = 0;
};

namespace event {

/// A tick of the timer with this id.
struct Timer {
  int id = 0;
};

/// A function run on the event-loop thread; a returned request ends the loop.
struct Custom {
  std::function<std::optional<QuitRequest>()> function;
};

/// An interrupt signal arrived; the loop ends with return code 1.
struct Interrupt {};

}  // namespace event

/// The terminal layer's seven original input events, the widget layer's own three, then the
/// terminal layer's later two (appended so the older indices stay).
using Event = std::variant<dalk::MousePress, dalk::MouseRelease, dalk::MouseWheel, dalk::MouseMove,
                           dalk::KeyPress, dalk::KeyRelease, dalk::Resize, event::Timer,
                           event::Custom, event::Interrupt, dalk::Paste, dalk::Focus>;

}  // namespace vn

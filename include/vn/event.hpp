// The events the event loop handles: the terminal layer's input events and the widget layer's
// own, and the quit request that ends the loop.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
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

namespace detail {

template <typename Input, typename Front, typename Back, typename... Own>
struct Splicing;

template <typename Input, std::size_t... F, std::size_t... B, typename... Own>
struct Splicing<Input, std::index_sequence<F...>, std::index_sequence<B...>, Own...> {
  using type = std::variant<std::variant_alternative_t<F, Input>..., Own...,
                            std::variant_alternative_t<sizeof...(F) + B, Input>...>;
};

/// The variant of Input's first `kept` alternatives, then Own..., then Input's others.
template <typename Input, std::size_t kept, typename... Own>
using SplicedVariant =
    typename Splicing<Input, std::make_index_sequence<kept>,
                      std::make_index_sequence<std::variant_size_v<Input> - kept>, Own...>::type;

/// True when the variant V's first alternatives are T..., in this order.
template <typename V, typename... T>
inline constexpr bool begins_with = []<std::size_t... I>(std::index_sequence<I...>) {
  return (std::is_same_v<std::variant_alternative_t<I, V>, T> && ...);
}
(std::index_sequence_for<T...>{});

/// How many input events the terminal layer had before the widget layer added its own.
inline constexpr std::size_t original_input_events = 7;

}  // namespace detail

/// The terminal layer's seven original input events, the widget layer's own three, then every
/// later input event of dalk::Event in its order (today Paste and Focus): an input event the
/// terminal layer adds reaches the loop without a change here, and older indices stay.
using Event = detail::SplicedVariant<dalk::Event, detail::original_input_events, event::Timer,
                                     event::Custom, event::Interrupt>;

// The indices the loop's users rely on: the original input events, the widget layer's own, then
// the later input events.
static_assert(
    detail::begins_with<Event, dalk::MousePress, dalk::MouseRelease, dalk::MouseWheel,
                        dalk::MouseMove, dalk::KeyPress, dalk::KeyRelease, dalk::Resize,
                        event::Timer, event::Custom, event::Interrupt, dalk::Paste, dalk::Focus>);
static_assert(std::variant_size_v<Event> == std::variant_size_v<dalk::Event> + 3);

}  // namespace vn

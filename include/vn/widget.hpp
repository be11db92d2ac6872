// The widget base: geometry, size and focus policies, the virtual event handlers and paint, and
// the children enumeration through which the tree exists (there are no parent pointers). Weak
// references to widgets go through a lifetime handle that follows the widget when it is moved
// and expires when it is destroyed.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "dalk/terminal.hpp"
#include "lum/generator.hpp"
#include "vn/screen_buffer.hpp"

namespace vn {

using dalk::Area;
using dalk::Point;

/// How much of one dimension a widget wants: at least `minimum`, at most `maximum`, and a
/// `flexibility` weight for its share of what is left after the minimums.
struct SizePolicy {
  std::int32_t minimum = 0;
  std::int32_t maximum = std::numeric_limits<std::int32_t>::max();
  float flexibility = 1.0F;

  /// Exactly `length`: minimum = maximum = length, no flexibility.
  static constexpr SizePolicy fixed(int length) { return {length, length, 0.0F}; }
  /// From 0 to the largest int, with the given weight.
  static constexpr SizePolicy flex(float flexibility = 1.0F) {
    return {0, std::numeric_limits<std::int32_t>::max(), flexibility};
  }
  /// From `min` to `max` with weight 1; the arguments are not checked.
  static constexpr SizePolicy bounded(int min, int max) { return {min, max, 1.0F}; }
  /// At least `length`, weight 1.
  static constexpr SizePolicy min(int length) {
    return {length, std::numeric_limits<std::int32_t>::max(), 1.0F};
  }
  /// At most `length`, weight 1.
  static constexpr SizePolicy max(int length) { return {0, length, 1.0F}; }

  friend constexpr bool operator==(SizePolicy, SizePolicy) = default;
};

/// Bit 0: reachable by Tab and Shift+Tab; bit 1: takes focus when pressed with the mouse.
enum class FocusPolicy : std::uint8_t { None = 0, Tab = 1, Click = 2, Strong = 3 };

constexpr bool is_tab_focusable(FocusPolicy policy) {
  return (static_cast<std::uint8_t>(policy) & 1U) != 0;
}
constexpr bool is_click_focusable(FocusPolicy policy) {
  return (static_cast<std::uint8_t>(policy) & 2U) != 0;
}

/// What a widget's paint reads, as bytes (Widget::paint_key): two keys are equal only where
/// every value added to them was, in the same order.
class PaintKey {
 public:
  explicit PaintKey(std::string& bytes) : bytes_{bytes} {}

  /// Values without padding bits (integers, characters, enumerations, pointers) by their bytes.
  template <typename T>
  requires std::has_unique_object_representations_v<T> PaintKey& add(T const& value) {
    bytes_.append(reinterpret_cast<char const*>(&value), sizeof value);
    return *this;
  }
  /// A text by its length and bytes, so that no two sequences of texts give the same key.
  PaintKey& add(std::string_view text);
  PaintKey& add(std::u32string_view text);
  PaintKey& add(bool value) { return add(static_cast<unsigned char>(value ? 1 : 0)); }
  PaintKey& add(dalk::Point point) { return add(point.x).add(point.y); }
  PaintKey& add(dalk::Brush const& brush);
  template <typename T>
  PaintKey& add(std::optional<T> const& value) {
    add(value.has_value());
    return value ? add(*value) : *this;
  }

 private:
  PaintKey& add_color(dalk::Color const& color);

  std::string& bytes_;
};

class Widget;

/// What Widget::visit_children calls for each child.
class ChildVisitor {
 public:
  virtual void visit(Widget& child) = 0;

 protected:
  ChildVisitor() = default;
  ChildVisitor(ChildVisitor const&) = default;
  ChildVisitor& operator=(ChildVisitor const&) = default;
  ~ChildVisitor() = default;
};

/// The polymorphic base of every widget. Every handler does nothing by default; mouse
/// positions are always in the receiving widget's own coordinates. Event-loop thread only.
class Widget {
 public:
  Widget(FocusPolicy focus_policy, SizePolicy size_policy);
  /// Takes over other's identity: views of other now refer to this object.
  Widget(Widget&& other) noexcept;
  /// Takes over other's identity; views of this widget's former identity expire.
  Widget& operator=(Widget&& other) noexcept;
  Widget(Widget const&) = delete;
  Widget& operator=(Widget const&) = delete;
  virtual ~Widget();

  virtual void mouse_press(dalk::Mouse mouse);
  virtual void mouse_release(dalk::Mouse mouse);
  virtual void mouse_wheel(dalk::Mouse mouse);
  virtual void mouse_move(dalk::Mouse mouse);
  virtual void mouse_enter();
  virtual void mouse_leave();
  /// Called after the widget became the focused widget.
  virtual void focus_in();
  /// Called while the widget still has focus, just before focus moves or is cleared.
  virtual void focus_out();
  virtual void key_press(dalk::Key key);
  virtual void key_release(dalk::Key key);
  /// Text pasted while this widget has focus, whole and valid UTF-8 (bracketed paste). By
  /// default each character is handed to key_press as typed, a line break as Key::Enter.
  virtual void paste(std::string_view text);
  /// The terminal window gained or lost focus; every widget of the tree hears it.
  virtual void window_focus(bool focused);
  /// The terminal's answers changed after start-up (dalk::AnswersChanged): everything it has
  /// answered so far. Every widget of the tree hears it; the session has acted on them already.
  virtual void terminal_answers(dalk::TerminalAnswers const& answers);
  /// `size` already holds the new size; the argument is the previous one.
  virtual void resize(Area previous);
  /// Every widget receives every tick and compares the id with its own timers.
  virtual void timer(int id);
  /// The canvas covers exactly the widget's cells.
  virtual void paint(Canvas canvas);
  virtual lum::Generator<Widget&> get_children();
  virtual lum::Generator<Widget const&> get_children() const;
  /// Calls visitor.visit with each child, in the order and number get_children() gives them;
  /// by default by reading get_children(). A container holding its children may walk them
  /// directly instead, without a coroutine (the layouts do): the paint walks a tree this way.
  virtual void visit_children(ChildVisitor& visitor);
  /// Lets a frame keep the cells this widget painted before instead of painting it again
  /// (TreeDispatcher::reuse_cells). Adds to `key` everything paint() reads besides the canvas
  /// size and whether this widget has focus (its own state, and anything else it shows: the
  /// focused widget, a shared model), and returns true; a frame in which the key, the canvas
  /// and the focus are those of the frame before keeps its cells. Returns false where the paint
  /// cannot be described so: the widget is then painted every frame. So does the default, and
  /// so must a widget whose paint reads the cells below it. A paint that writes nothing returns
  /// true with an empty key.
  virtual bool paint_key(PaintKey& key) const;

  FocusPolicy focus_policy;
  SizePolicy size_policy;
  /// Where the terminal cursor goes while this widget has focus, in its own coordinates.
  std::optional<Point> cursor;
  /// The cursor's shape while this widget has focus; empty: the terminal's own.
  std::optional<dalk::CursorShape> cursor_shape;
  /// An inactive widget and its subtree are neither painted nor reached by the mouse; Tab
  /// traversal and timer ticks still visit them.
  bool active = true;
  /// Relative to the parent's top-left cell; set by the parent's layout.
  Point at{0, 0};
  Area size{0, 0};
  /// Always points at the widget's current object; the widget is its only owner.
  std::shared_ptr<Widget*> lifetime;
};

/// A class derived from vn::Widget.
template <typename T>
concept WidgetDerived = std::derived_from<T, Widget>;

// clang-format off
/// An input range whose elements are references to T.
template <typename R, typename T>
concept InputRangeOf =
    std::ranges::input_range<R> && std::is_lvalue_reference_v<std::ranges::range_reference_t<R>> &&
    std::convertible_to<std::ranges::range_reference_t<R>, T&>;
// clang-format on

/// A weak reference to a widget that follows it through moves and expires with it.
template <typename W>
class LifetimeView {
 public:
  LifetimeView() = default;
  explicit LifetimeView(W& widget) : handle_{widget.lifetime} {}

  /// True while the widget (in whatever object it now lives) exists.
  bool valid() const { return !handle_.expired(); }

  /// The widget's current object. Only for a valid view.
  W& get() const {
    auto const locked = handle_.lock();
    return static_cast<W&>(**locked);
  }

 private:
  std::weak_ptr<Widget*> handle_;
};

namespace filter {

struct IsActive {
  bool operator()(Widget const& widget) const { return widget.active; }
};
/// Keeps only active widgets, for std::views::filter over get_children().
inline constexpr IsActive is_active{};

}  // namespace filter

/// Pre-order walk of the whole tree, inactive widgets included. An empty f throws
/// std::bad_function_call.
void for_each_depth_first(Widget& root, std::function<void(Widget&)> const& f);

/// The first widget in pre-order for which pred is true, or null. pred is called once per
/// widget, in pre-order, up to and including the first match, and never after it.
Widget* find_if_depth_first(Widget& root, std::function<bool(Widget const&)> const& pred);

/// The callable made by tracked(): f plus a lifetime view of each widget.
template <typename F, WidgetDerived... W>
class Tracked {
 public:
  template <typename G>
  Tracked(G&& f, W&... widgets) : f_(std::forward<G>(f)), views_{LifetimeView<W>{widgets}...} {}

  /// Does nothing once any widget is gone; otherwise calls f(widgets..., args...) with each
  /// widget's current object. A result of f is discarded.
  template <typename... Args>
  void operator()(Args&&... args) {
    call(f_, std::forward<Args>(args)...);
  }
  template <typename... Args>
  void operator()(Args&&... args) const {
    call(f_, std::forward<Args>(args)...);
  }

 private:
  template <typename Self, typename... Args>
  void call(Self& f, Args&&... args) const {
    bool const all_valid =
        std::apply([](auto const&... view) { return (view.valid() && ...); }, views_);
    if (!all_valid) {
      return;
    }
    std::apply(
        [&](auto const&... view) { std::invoke(f, view.get()..., std::forward<Args>(args)...); },
        views_);
  }

  F f_;
  std::tuple<LifetimeView<W>...> views_;
};

/// A slot body that acts on widgets without keeping them alive: the result calls
/// f(widgets..., args...) (the widgets first, each as its current object after any move, then
/// the call's arguments) while every widget exists, and does nothing once one is destroyed.
template <typename F, WidgetDerived W, WidgetDerived... More>
auto tracked(F&& f, W& widget, More&... more) {
  return Tracked<std::decay_t<F>, W, More...>{std::forward<F>(f), widget, more...};
}

}  // namespace vn

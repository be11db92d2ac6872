// Layout: splitting a length among widgets by their size policies, the row that places its
// children side by side and the column that stacks them. The distribution knows nothing of
// direction. Children may be held in any container of widgets, of pointers to widgets or in a
// tuple of different widget types, so a row can mix labels, edits and buttons.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <ranges>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "lum/generator.hpp"
#include "vn/widget.hpp"

namespace vn {

namespace detail {

/// Splits `total` cells among children with these size policies, in order, one length each.
/// Every child starts at its minimum. Space beyond the minimums is shared by flexibility, never
/// beyond a child's maximum, and the cells lost to rounding go one at a time to the first
/// children with room; the lengths then sum to `total` unless the maximums stop them short. If
/// the minimums do not fit, the first children give up one cell each in turn, possibly below
/// their minimum. A `total` of 0 (or, outside the contract, a negative one) gives all zeros.
std::vector<int> distribute_length(std::vector<SizePolicy> const& policies, int total);

/// As the policy form, over the size policies of the active children of the range: one length
/// per active child (inactive ones get no entry).
template <InputRangeOf<Widget> R>
std::vector<int> distribute_length(R&& children, int total) {
  std::vector<SizePolicy> policies;
  for (Widget& child : children) {
    if (child.active) {
      policies.push_back(child.size_policy);
    }
  }
  return distribute_length(policies, total);
}

}  // namespace detail

namespace detail {

template <typename T>
struct IsReferenceWrapper : std::false_type {};
template <typename T>
struct IsReferenceWrapper<std::reference_wrapper<T>> : std::true_type {};

// clang-format off
/// Something that points at a widget and may be empty: a raw or smart pointer, an optional.
template <typename P>
concept WidgetPointer =
    !WidgetDerived<std::remove_const_t<P>> && requires(P& p) {
      requires std::is_lvalue_reference_v<decltype(*p)>;
      requires WidgetDerived<std::remove_cvref_t<decltype(*p)>>;
      static_cast<bool>(p);
    };
// clang-format on

// clang-format off
/// The widget an element of a children container stands for: the element itself...
template <typename E>
requires WidgetDerived<std::remove_const_t<E>>
E* child_pointer(E& element) {
  return std::addressof(element);
}
/// ...the widget a reference_wrapper refers to...
template <typename W>
requires WidgetDerived<std::remove_const_t<W>>
W* child_pointer(std::reference_wrapper<W> const& element) {
  return std::addressof(element.get());
}
// clang-format on
/// ...or the one a pointer points at; null for an empty pointer.
template <WidgetPointer P>
auto child_pointer(P& element) -> std::remove_reference_t<decltype(*element)>* {
  return element ? std::addressof(*element) : nullptr;
}

}  // namespace detail

/// An element that stands for a child widget: a widget, a std::reference_wrapper to one, or a
/// pointer-like value (raw or smart pointer, std::optional) whose empty state means no child.
template <typename E>
concept ChildElement = requires(E& element) {
  { detail::child_pointer(element) } -> std::convertible_to<Widget*>;
};

namespace detail {

template <typename C>
concept ChildRange = std::ranges::input_range<C> && std::ranges::input_range<C const> &&
    std::is_lvalue_reference_v<std::ranges::range_reference_t<C>> &&
    ChildElement<std::remove_reference_t<std::ranges::range_reference_t<C>>>;

template <typename C, std::size_t... I>
constexpr bool all_child_elements(std::index_sequence<I...> /*unused*/) {
  return (ChildElement<std::remove_reference_t<decltype(std::get<I>(std::declval<C&>()))>> && ...);
}

// clang-format off
template <typename C>
concept ChildTuple = !std::ranges::range<C> && requires { std::tuple_size<C>::value; } &&
    all_child_elements<C>(std::make_index_sequence<std::tuple_size_v<C>>{});
// clang-format on

// The widget of element i of a tuple, or null when that element is an empty pointer.
template <typename W, typename Tuple, std::size_t... I>
W* tuple_child(Tuple& tuple, std::size_t i, std::index_sequence<I...> /*unused*/) {
  W* result = nullptr;
  static_cast<void>(((i == I ? (result = child_pointer(std::get<I>(tuple)), true) : false) || ...));
  return result;
}

}  // namespace detail

/// What a Row or Column can hold its children in: (a) a range of widgets, (b) a range of
/// pointers, smart pointers, optionals or reference_wrappers to widgets, or (c) a tuple-like
/// value (std::tuple, std::pair) of such elements, possibly of different widget types.
template <typename C>
concept ChildContainer = detail::ChildRange<C> || detail::ChildTuple<C>;

namespace detail {

/// Direction of a line of children.
enum class Axis : std::uint8_t { Horizontal, Vertical };

/// The layout of Row (Horizontal) and Column (Vertical): distributes the layout's own width or
/// height among its active children (distribute_length), places them edge to edge from the
/// left or top edge, each as high (or wide) as the layout, and resizes each with its previous
/// size. Inactive children keep their position and size and are not resized.
void lay_out_line(Widget& layout, Axis axis);

}  // namespace detail

template <typename Container>
requires ChildContainer<Container>
class Row;
template <typename Container>
requires ChildContainer<Container>
class Column;

namespace detail {

/// Row (Horizontal) and Column (Vertical) in one: the children container, its enumeration and
/// the layout along `axis` (lay_out_line).
template <Axis axis, typename Container>
requires ChildContainer<Container>
class Line : public Widget {
 public:
  /// `focus` and `policy` are the line's own; `elements` are its children, in order.
  explicit Line(FocusPolicy focus = FocusPolicy::None, SizePolicy policy = SizePolicy::flex(1.0F),
                Container elements = {})
      : Widget{focus, policy}, children{std::move(elements)} {}
  explicit Line(Container elements, FocusPolicy focus = FocusPolicy::None,
                SizePolicy policy = SizePolicy::flex(1.0F))
      : Widget{focus, policy}, children{std::move(elements)} {}

  /// Ignores `previous`: the layout works from the line's current size.
  void resize(Area /*previous*/) override { lay_out_line(*this, axis); }

  /// The widget of each element of children, in order; empty pointers are skipped. Each
  /// element is read when the sequence reaches it.
  lum::Generator<Widget&> get_children() override { return enumerate<Widget>(children); }
  lum::Generator<Widget const&> get_children() const override {
    return enumerate<Widget const>(children);
  }
  /// Paints nothing itself.
  bool paint_key(PaintKey& /*key*/) const override { return true; }
  /// Walks `children` directly; a class derived from Row or Column may yield other children,
  /// so its get_children() is read instead.
  void visit_children(ChildVisitor& visitor) override {
    using Layout = std::conditional_t<axis == Axis::Horizontal, Row<Container>, Column<Container>>;
    if (typeid(*this) != typeid(Layout)) {
      Widget::visit_children(visitor);
      return;
    }
    if constexpr (requires(Container & c) { std::begin(c); }) {
      for (auto& element : children) {
        if (Widget* child = child_pointer(element)) {
          visitor.visit(*child);
        }
      }
    } else {
      constexpr std::size_t count = std::tuple_size_v<Container>;
      for (std::size_t i = 0; i < count; ++i) {
        if (Widget* child = tuple_child<Widget>(children, i, std::make_index_sequence<count>{})) {
          visitor.visit(*child);
        }
      }
    }
  }

  Container children;

 private:
  // A member rather than a free function template: a coroutine frame then takes the linkage
  // of the class, so children types from unnamed namespaces compile without warnings.
  template <typename W, typename C>
  static lum::Generator<W&> enumerate(C& elements) {
    if constexpr (requires(Container & c) { std::begin(c); }) {
      for (auto& element : elements) {
        if (W* child = child_pointer(element)) {
          co_yield *child;
        }
      }
    } else {
      constexpr std::size_t count = std::tuple_size_v<Container>;
      for (std::size_t i = 0; i < count; ++i) {
        if (W* child = tuple_child<W>(elements, i, std::make_index_sequence<count>{})) {
          co_yield *child;
        }
      }
    }
  }
};

}  // namespace detail

/// Lays its active children out side by side from its left edge, each as high as the row and
/// as wide as distribute_length gives it; space they do not take stays empty at the right.
/// Inactive children (and empty pointers) get neither a length nor a position. Paints nothing
/// itself. The children live in `children`, left to right, any ChildContainer:
/// Row<std::vector<Label>>, Row<std::vector<std::unique_ptr<Widget>>>,
/// Row<std::tuple<Label, Label>> (see make_row). Constructed as detail::Line.
template <typename Container>
requires ChildContainer<Container>
class Row : public detail::Line<detail::Axis::Horizontal, Container> {
 public:
  using detail::Line<detail::Axis::Horizontal, Container>::Line;
};

/// The vertical counterpart of Row: stacks its active children from its top edge, each as wide
/// as the column and as high as distribute_length gives it from the column's height; space
/// they do not take stays empty at the bottom. Inactive children (and empty pointers) get
/// neither a length nor a position. Paints nothing itself. `children` run top to bottom.
template <typename Container>
requires ChildContainer<Container>
class Column : public detail::Line<detail::Axis::Vertical, Container> {
 public:
  using detail::Line<detail::Axis::Vertical, Container>::Line;
};

// Inherited constructors take no part in deduction: `Row row{std::tuple{...}}` needs these.
template <typename Container>
requires ChildContainer<Container>
explicit Row(Container, FocusPolicy = FocusPolicy::None, SizePolicy = SizePolicy::flex(1.0F))
    ->Row<Container>;
template <typename Container>
requires ChildContainer<Container>
explicit Row(FocusPolicy, SizePolicy, Container)->Row<Container>;
template <typename Container>
requires ChildContainer<Container>
explicit Column(Container, FocusPolicy = FocusPolicy::None, SizePolicy = SizePolicy::flex(1.0F))
    ->Column<Container>;
template <typename Container>
requires ChildContainer<Container>
explicit Column(FocusPolicy, SizePolicy, Container)->Column<Container>;

namespace detail {

template <typename E>
inline constexpr bool is_widget_lvalue =
    std::conjunction_v<std::is_lvalue_reference<E>,
                       std::is_base_of<Widget, std::remove_cvref_t<E>>>;

/// A Row or Column (`Layout`) holding the given children in a tuple, in order.
template <template <ChildContainer> class Layout, typename... E>
Layout<std::tuple<std::decay_t<E>...>> make_line(E&&... children) {
  static_assert(!(is_widget_lvalue<E> || ...),
                "pass widgets by value (std::move them in) or as std::ref(widget)");
  return Layout<std::tuple<std::decay_t<E>...>>{
      std::tuple<std::decay_t<E>...>{std::forward<E>(children)...}};
}

}  // namespace detail

// clang-format off
/// A row holding the given children in a tuple, in order: widgets moved in, std::ref(widget)
/// for widgets owned elsewhere, or pointers. Focus policy None, size policy flex(1.0); both
/// can be changed on the result.
template <typename... E>
requires (ChildElement<std::decay_t<E>> && ...)
Row<std::tuple<std::decay_t<E>...>> make_row(E&&... children) {
  return detail::make_line<Row>(std::forward<E>(children)...);
}

/// A column holding the given children in a tuple, top to bottom; see make_row.
template <typename... E>
requires (ChildElement<std::decay_t<E>> && ...)
Column<std::tuple<std::decay_t<E>...>> make_column(E&&... children) {
  return detail::make_line<Column>(std::forward<E>(children)...);
}
// clang-format on

}  // namespace vn

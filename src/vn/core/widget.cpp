#include "vn/widget.hpp"

#include <utility>

#include "dalk/transcode.hpp"

namespace vn {

Widget::Widget(FocusPolicy focus, SizePolicy sizing)
    : focus_policy{focus}, size_policy{sizing}, lifetime{std::make_shared<Widget*>(this)} {}

Widget::Widget(Widget&& other) noexcept
    : focus_policy{other.focus_policy},
      size_policy{other.size_policy},
      cursor{other.cursor},
      cursor_shape{other.cursor_shape},
      active{other.active},
      at{other.at},
      size{other.size},
      lifetime{std::move(other.lifetime)} {
  // Views, focus and tracked slots that referred to other now refer to this object.
  *lifetime = this;
}

Widget& Widget::operator=(Widget&& other) noexcept {
  if (this == &other) {
    return *this;
  }
  focus_policy = other.focus_policy;
  size_policy = other.size_policy;
  cursor = other.cursor;
  cursor_shape = other.cursor_shape;
  active = other.active;
  at = other.at;
  size = other.size;
  // Releasing the old handle expires every view of this widget's former identity.
  lifetime = std::move(other.lifetime);
  *lifetime = this;
  return *this;
}

Widget::~Widget() = default;

void Widget::mouse_press(dalk::Mouse) {}
void Widget::mouse_release(dalk::Mouse) {}
void Widget::mouse_wheel(dalk::Mouse) {}
void Widget::mouse_move(dalk::Mouse) {}
void Widget::mouse_enter() {}
void Widget::mouse_leave() {}
void Widget::focus_in() {}
void Widget::focus_out() {}
void Widget::key_press(dalk::Key) {}
void Widget::key_release(dalk::Key) {}
void Widget::paste(std::string_view text) {
  // A widget without paste handling gets the text as the keys it would have been typed with,
  // as without bracketed paste: a line break ("\r\n", "\r" or "\n") is one Enter.
  char32_t previous = 0;
  for (char32_t const c : dalk::detail::u8_string_to_u32(text)) {
    if (c == U'\n' && previous == U'\r') {
      previous = c;
      continue;
    }
    key_press(c == U'\r' || c == U'\n' ? dalk::Key::Enter : dalk::key(c));
    previous = c;
  }
}
void Widget::window_focus(bool) {}

void Widget::terminal_answers(dalk::TerminalAnswers const&) {}
void Widget::resize(Area) {}
void Widget::timer(int) {}
void Widget::paint(Canvas) {}
// Not coroutines: a leaf's empty sequence needs no frame.
lum::Generator<Widget&> Widget::get_children() {
  return {};
}
lum::Generator<Widget const&> Widget::get_children() const {
  return {};
}
void Widget::visit_children(ChildVisitor& visitor) {
  for (Widget& child : get_children()) {
    visitor.visit(child);
  }
}
bool Widget::paint_key(PaintKey&) const {
  return false;
}

PaintKey& PaintKey::add(std::string_view text) {
  add(text.size());
  bytes_.append(text);
  return *this;
}

PaintKey& PaintKey::add(std::u32string_view text) {
  add(text.size());
  bytes_.append(reinterpret_cast<char const*>(text.data()), text.size() * sizeof(char32_t));
  return *this;
}

PaintKey& PaintKey::add_color(dalk::Color const& color) {
  if (auto const* x = std::get_if<dalk::XColor>(&color)) {
    return add('x').add(x->value);
  }
  auto const& rgb = std::get<dalk::TrueColor>(color);
  return add('t').add(rgb.red).add(rgb.green).add(rgb.blue);
}

PaintKey& PaintKey::add(dalk::Brush const& brush) {
  add_color(brush.background);
  add_color(brush.foreground);
  return add(brush.traits.value());
}

void for_each_depth_first(Widget& root, std::function<void(Widget&)> const& f) {
  f(root);
  for (Widget& child : root.get_children()) {
    for_each_depth_first(child, f);
  }
}

Widget* find_if_depth_first(Widget& root, std::function<bool(Widget const&)> const& pred) {
  Widget* result = nullptr;
  // The walk goes on after a match, but the predicate is not called again: the Tab traversal
  // relies on exactly one call per widget up to the first match.
  for_each_depth_first(root, [&](Widget& widget) {
    if (result == nullptr && pred(widget)) {
      result = &widget;
    }
  });
  return result;
}

}  // namespace vn

#include "vn/dispatch.hpp"

#include <algorithm>
#include <optional>
#include <string_view>

#include "vn/focus.hpp"

namespace vn {
namespace {

enum class SetFocus { Yes = 0, No = 1 };

bool contains(Widget const& w, Point p) {
  return w.at.x <= p.x && p.x < w.at.x + w.size.width && w.at.y <= p.y &&
         p.y < w.at.y + w.size.height;
}

Point minus(Point a, Point b) {
  return {a.x - b.x, a.y - b.y};
}

// The first active child of w containing p (in w's coordinates), in yield order. The loops
// filter by hand: clang 14 rejects std::views::filter over a generator with libstdc++ 12.
Widget* find_widget_at(Widget& w, Point p) {
  for (Widget& child : w.get_children()) {
    if (filter::is_active(child) && contains(child, p)) {
      return &child;
    }
  }
  return nullptr;
}

// Delivers the event to the deepest active widget under the pointer, below w.
template <SetFocus Focusing, typename Handler>
void any_mouse_event(Widget& w, dalk::Mouse mouse, Handler handler) {
  if (Widget* child = find_widget_at(w, mouse.at)) {
    mouse.at = minus(mouse.at, child->at);
    any_mouse_event<Focusing>(*child, mouse, handler);
    return;
  }
  if constexpr (Focusing == SetFocus::Yes) {
    if (is_click_focusable(w.focus_policy)) {
      Focus::set(w);
    }
  }
  handler(w, mouse);
}

void send_leave_events(Widget& w, Point p) {
  w.mouse_leave();
  if (Widget* child = find_widget_at(w, p)) {
    send_leave_events(*child, minus(p, child->at));
  }
}

void send_enter_events(Widget& w, Point p) {
  w.mouse_enter();
  if (Widget* child = find_widget_at(w, p)) {
    send_enter_events(*child, minus(p, child->at));
  }
}

// A canvas reaching past the buffer would let its widget write outside the buffer: its size is
// cut at the buffer's right and bottom edges, and a widget whose origin lies outside the buffer
// is not painted at all (its children may still be).
std::optional<Canvas> inside_buffer(Canvas canvas) {
  Area const area = canvas.buffer.area;
  if (canvas.at.x < 0 || canvas.at.y < 0 || canvas.at.x >= area.width ||
      canvas.at.y >= area.height) {
    return std::nullopt;
  }
  canvas.size.width = std::min(canvas.size.width, area.width - canvas.at.x);
  canvas.size.height = std::min(canvas.size.height, area.height - canvas.at.y);
  return canvas;
}

void send_paint_events(Widget& w, Canvas canvas, std::optional<Point>& cursor) {
  for (Widget& child : w.get_children()) {
    if (!filter::is_active(child)) {
      continue;
    }
    send_paint_events(
        child,
        Canvas{canvas.buffer, {canvas.at.x + child.at.x, canvas.at.y + child.at.y}, child.size},
        cursor);
  }
  if (!w.active || w.size.width <= 0 || w.size.height <= 0) {
    return;
  }
  if (auto const safe = inside_buffer(canvas)) {
    w.paint(*safe);
    if (Focus::get() == &w) {
      cursor =
          w.cursor
              ? std::optional<Point>{Point{canvas.at.x + w.cursor->x, canvas.at.y + w.cursor->y}}
              : std::nullopt;
    }
  }
}

void do_tab_focus_change(Widget& head, Widget const& current) {
  bool after_current = false;
  Widget* next = find_if_depth_first(head, [&](Widget const& w) {
    if (after_current) {
      return is_tab_focusable(w.focus_policy);
    }
    if (&w == &current) {
      after_current = true;
    }
    return false;
  });
  if (next == nullptr) {
    // Wrap around, which also covers a current widget outside the tree.
    next =
        find_if_depth_first(head, [](Widget const& w) { return is_tab_focusable(w.focus_policy); });
  }
  if (next != nullptr && next != &current) {
    Focus::set(*next);
  }
}

void do_shift_tab_focus_change(Widget& head, Widget const& current) {
  Widget* last_seen = nullptr;
  Widget* previous = nullptr;
  for_each_depth_first(head, [&](Widget& w) {
    if (&w == &current) {
      previous = last_seen;
    }
    if (is_tab_focusable(w.focus_policy)) {
      last_seen = &w;
    }
  });
  if (previous == nullptr) {
    previous = last_seen;
  }
  if (previous != nullptr && previous != &current) {
    Focus::set(*previous);
  }
}

}  // namespace

namespace detail {

void dispatch_mouse_press(Widget& head, dalk::Mouse mouse) {
  any_mouse_event<SetFocus::Yes>(head, mouse, [](Widget& w, dalk::Mouse m) { w.mouse_press(m); });
}

void dispatch_mouse_release(Widget& head, dalk::Mouse mouse) {
  any_mouse_event<SetFocus::No>(head, mouse, [](Widget& w, dalk::Mouse m) { w.mouse_release(m); });
}

void dispatch_mouse_wheel(Widget& head, dalk::Mouse mouse) {
  any_mouse_event<SetFocus::No>(head, mouse, [](Widget& w, dalk::Mouse m) { w.mouse_wheel(m); });
}

void dispatch_mouse_move(Widget& head, Point& previous_mouse, dalk::Mouse mouse) {
  Widget* old_child = find_widget_at(head, previous_mouse);
  Widget* new_child = find_widget_at(head, mouse.at);
  // Both paths are walked even inside one widget: widgets treat enter and leave as setting
  // a hovered state and end up entered.
  if (old_child != nullptr && new_child != nullptr && mouse.at != previous_mouse) {
    send_leave_events(*old_child, minus(previous_mouse, old_child->at));
    send_enter_events(*new_child, minus(mouse.at, new_child->at));
  }
  any_mouse_event<SetFocus::No>(head, mouse, [](Widget& w, dalk::Mouse m) { w.mouse_move(m); });
  previous_mouse = mouse.at;
}

void dispatch_key_press(Widget& head, dalk::Key key) {
  Widget* focused = Focus::get();
  if (focused == nullptr) {
    return;
  }
  if (is_tab_focusable(focused->focus_policy)) {
    if (key == dalk::Key::BackTab) {
      do_shift_tab_focus_change(head, *focused);
    } else if (key == dalk::Key::Tab) {
      do_tab_focus_change(head, *focused);
    }
  }
  // The widget that had focus gets the key, also when Tab has just moved focus away.
  focused->key_press(key);
}

void dispatch_key_release(dalk::Key key) {
  if (Widget* focused = Focus::get()) {
    focused->key_release(key);
  }
}

void dispatch_resize(Widget& head, dalk::Area area) {
  Area const previous = head.size;
  head.size = area;
  head.resize(previous);
}

void dispatch_timer(Widget& head, int id) {
  for_each_depth_first(head, [id](Widget& w) { w.timer(id); });
}

void dispatch_paste(std::string_view text) {
  if (Widget* focused = Focus::get()) {
    focused->paste(text);
  }
}

void dispatch_focus(Widget& head, bool focused) {
  for_each_depth_first(head, [focused](Widget& w) { w.window_focus(focused); });
}

std::optional<Point> paint_tree(Widget& head, Canvas canvas) {
  std::optional<Point> cursor;
  send_paint_events(head, canvas, cursor);
  return cursor;
}

}  // namespace detail

TreeDispatcher::TreeDispatcher(Widget& head) : head{head} {}

std::optional<QuitRequest> TreeDispatcher::handle_mouse_press(dalk::Mouse mouse) {
  detail::dispatch_mouse_press(head, mouse);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_mouse_release(dalk::Mouse mouse) {
  detail::dispatch_mouse_release(head, mouse);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_mouse_wheel(dalk::Mouse mouse) {
  detail::dispatch_mouse_wheel(head, mouse);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_mouse_move(dalk::Mouse mouse) {
  detail::dispatch_mouse_move(head, previous_mouse, mouse);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_key_press(dalk::Key key) {
  detail::dispatch_key_press(head, key);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_key_release(dalk::Key key) {
  detail::dispatch_key_release(key);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_resize(dalk::Area area) {
  detail::dispatch_resize(head, area);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_timer(int id) {
  detail::dispatch_timer(head, id);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_paste(std::string_view text) {
  detail::dispatch_paste(text);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_focus(bool focused) {
  detail::dispatch_focus(head, focused);
  return std::nullopt;
}

std::optional<Point> TreeDispatcher::handle_paint(Canvas canvas) {
  return detail::paint_tree(head, canvas);
}

}  // namespace vn

#include "vn/dispatch.hpp"

#include <algorithm>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "vn/focus.hpp"
#include "vn/loop.hpp"
#include "vn/overlay.hpp"
#include "vn/put.hpp"

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

// Which widgets Tab and Shift+Tab walk: the whole tree, or only the widgets a paint reaches.
using Walk = void (*)(Widget&, std::function<void(Widget&)> const&);

void walk_whole_tree(Widget& root, std::function<void(Widget&)> const& f) {
  for_each_depth_first(root, f);
}

// As paint_tree goes: the root's own flag only decides whether the root itself takes part.
void walk_painted(Widget& root, std::function<void(Widget&)> const& f) {
  if (root.active) {
    f(root);
  }
  for (Widget& child : root.get_children()) {
    if (filter::is_active(child)) {
      walk_painted(child, f);
    }
  }
}

void do_tab_focus_change(Widget& head, Widget const& current, Walk walk) {
  Widget* first = nullptr;
  Widget* next = nullptr;
  bool after_current = false;
  walk(head, [&](Widget& w) {
    bool const candidate = is_tab_focusable(w.focus_policy);
    if (candidate && first == nullptr) {
      first = &w;
    }
    if (candidate && after_current && next == nullptr) {
      next = &w;
    }
    if (&w == &current) {
      after_current = true;
    }
  });
  // Wrap around, which also covers a current widget outside the walk.
  if (next == nullptr) {
    next = first;
  }
  if (next != nullptr && next != &current) {
    Focus::set(*next);
  }
}

void do_shift_tab_focus_change(Widget& head, Widget const& current, Walk walk) {
  Widget* last_seen = nullptr;
  Widget* previous = nullptr;
  walk(head, [&](Widget& w) {
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

void key_press_walking(Widget& head, dalk::Key key, Walk walk) {
  Widget* focused = Focus::get();
  if (focused == nullptr) {
    return;
  }
  if (is_tab_focusable(focused->focus_policy)) {
    if (key == dalk::Key::BackTab) {
      do_shift_tab_focus_change(head, *focused, walk);
    } else if (key == dalk::Key::Tab) {
      do_tab_focus_change(head, *focused, walk);
    }
  }
  // The widget that had focus gets the key, also when Tab has just moved focus away.
  focused->key_press(key);
}

// Enter and leave also between a child and the bare area of its parent, so a hovered look
// never outlives the pointer.
void hover_changes(Widget& head, Point previous, Point now) {
  Widget* old_child = find_widget_at(head, previous);
  Widget* new_child = find_widget_at(head, now);
  if (now == previous) {
    return;
  }
  if (old_child != nullptr) {
    send_leave_events(*old_child, minus(previous, old_child->at));
  }
  if (new_child != nullptr) {
    send_enter_events(*new_child, minus(now, new_child->at));
  }
}

bool inside(Widget const& w, Point p) {
  return contains(w, p);
}

bool in_subtree(Widget& root, Widget const* w) {
  return w != nullptr && find_if_depth_first(root, [w](Widget const& x) { return &x == w; });
}

// Gives a mouse event inside the overlay to its widgets, in the overlay's coordinates; false
// when the event lies outside it.
bool inside_overlay(Overlay& top, dalk::Mouse mouse, void (*dispatch)(Widget&, dalk::Mouse)) {
  if (!inside(top, mouse.at)) {
    return false;
  }
  mouse.at = minus(mouse.at, top.at);
  dispatch(top, mouse);
  return true;
}

// The topmost overlay, placed for the current screen (the head's size).
Overlay* placed_top(Widget const& head) {
  Overlay* top = detail::top_overlay();
  if (top != nullptr) {
    top->place(head.size);
  }
  return top;
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
  key_press_walking(head, key, walk_whole_tree);
}

void dispatch_painted_key_press(Widget& head, dalk::Key key) {
  key_press_walking(head, key, walk_painted);
}

void dispatch_hovering_mouse_move(Widget& head, Point& previous_mouse, dalk::Mouse mouse) {
  hover_changes(head, previous_mouse, mouse.at);
  any_mouse_event<SetFocus::No>(head, mouse, [](Widget& w, dalk::Mouse m) { w.mouse_move(m); });
  previous_mouse = mouse.at;
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
  if (Overlay* top = placed_top(head)) {
    if (!inside_overlay(*top, mouse, detail::dispatch_mouse_press)) {
      top->outside_press(mouse);
    }
    return std::nullopt;
  }
  detail::dispatch_mouse_press(head, mouse);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_mouse_release(dalk::Mouse mouse) {
  if (Overlay* top = placed_top(head)) {
    inside_overlay(*top, mouse, detail::dispatch_mouse_release);
    return std::nullopt;
  }
  detail::dispatch_mouse_release(head, mouse);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_mouse_wheel(dalk::Mouse mouse) {
  if (Overlay* top = placed_top(head)) {
    inside_overlay(*top, mouse, detail::dispatch_mouse_wheel);
    return std::nullopt;
  }
  detail::dispatch_mouse_wheel(head, mouse);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_mouse_move(dalk::Mouse mouse) {
  if (Overlay* top = placed_top(head)) {
    Point const screen_at = mouse.at;
    // Hover follows the pointer inside the overlay; nothing below it hears the move.
    hover_changes(*top, minus(previous_mouse, top->at), minus(mouse.at, top->at));
    if (inside(*top, mouse.at)) {
      mouse.at = minus(mouse.at, top->at);
      any_mouse_event<SetFocus::No>(*top, mouse, [](Widget& w, dalk::Mouse m) { w.mouse_move(m); });
    }
    previous_mouse = screen_at;
    return std::nullopt;
  }
  detail::dispatch_hovering_mouse_move(head, previous_mouse, mouse);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_key_press(dalk::Key key) {
  if (Overlay* top = placed_top(head)) {
    if (top->intercept_key(key)) {
      return std::nullopt;
    }
    if (!in_subtree(*top, Focus::get())) {
      // Keys never reach what lies below a modal overlay.
      detail::focus_first_widget(*top);
    }
    detail::dispatch_painted_key_press(*top, key);
    return std::nullopt;
  }
  detail::dispatch_painted_key_press(head, key);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_key_release(dalk::Key key) {
  if (Overlay* top = placed_top(head); top != nullptr && !in_subtree(*top, Focus::get())) {
    return std::nullopt;
  }
  detail::dispatch_key_release(key);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_resize(dalk::Area area) {
  detail::dispatch_resize(head, area);
  for (Overlay* overlay : detail::open_overlays()) {
    overlay->place(head.size);
  }
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_timer(int id) {
  detail::dispatch_timer(head, id);
  for (Overlay* overlay : detail::open_overlays()) {
    detail::dispatch_timer(*overlay, id);
  }
  detail::run_timer_function(id);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_paste(std::string_view text) {
  if (Overlay* top = placed_top(head); top != nullptr && !in_subtree(*top, Focus::get())) {
    return std::nullopt;
  }
  detail::dispatch_paste(text);
  return std::nullopt;
}

std::optional<QuitRequest> TreeDispatcher::handle_focus(bool focused) {
  detail::dispatch_focus(head, focused);
  for (Overlay* overlay : detail::open_overlays()) {
    detail::dispatch_focus(*overlay, focused);
  }
  return std::nullopt;
}

std::optional<Point> TreeDispatcher::handle_paint(Canvas canvas) {
  std::optional<Point> cursor = detail::paint_tree(head, canvas);
  std::vector<Overlay*> const overlays = detail::open_overlays();
  if (!overlays.empty()) {
    // Only the overlays' widgets can have focus that shows while one is open.
    cursor.reset();
  }
  for (Overlay* overlay : overlays) {
    overlay->place(head.size);
    Canvas const area{
        canvas.buffer, {canvas.at.x + overlay->at.x, canvas.at.y + overlay->at.y}, overlay->size};
    if (auto const safe = inside_buffer(area)) {
      // What lies below does not show through.
      clear(*safe);
    }
    send_paint_events(*overlay, area, cursor);
  }
  return cursor;
}

}  // namespace vn

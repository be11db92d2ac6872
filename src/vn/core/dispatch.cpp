#include "vn/dispatch.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "dalk/cluster.hpp"
#include "dalk/terminal.hpp"
#include "vn/commit.hpp"
#include "vn/core/dispatch_state.hpp"
#include "vn/core/kept_frame.hpp"
#include "vn/focus.hpp"
#include "vn/overlay.hpp"
#include "vn/put.hpp"
#include "vn/terminal.hpp"

namespace vn {
namespace {

enum class SetFocus { Yes = 0, No = 1 };

// Positions and sizes may lie anywhere in the range of int: edges are found in 64 bits, and
// offsets saturate instead of wrapping (a point past the range lies outside every buffer).
bool contains(Widget const& w, Point p) {
  return w.at.x <= p.x && p.x < std::int64_t{w.at.x} + w.size.width && w.at.y <= p.y &&
         p.y < std::int64_t{w.at.y} + w.size.height;
}

int saturated(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

Point plus(Point a, Point b) {
  return {saturated(std::int64_t{a.x} + b.x), saturated(std::int64_t{a.y} + b.y)};
}

Point minus(Point a, Point b) {
  return {saturated(std::int64_t{a.x} - b.x), saturated(std::int64_t{a.y} - b.y)};
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

// The widget handler a pointer event ends in.
using MouseHandler = void (Widget::*)(dalk::Mouse);

// Delivers the event to the deepest active widget under the pointer, below w.
template <SetFocus Focusing>
void any_mouse_event(Widget& w, dalk::Mouse mouse, MouseHandler handler) {
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
  (w.*handler)(mouse);
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

// The focused widget's cursor as a paint finds it.
struct PaintedCursor {
  std::optional<Point> at;
  std::optional<dalk::CursorShape> shape;
};

// The focused widget's cursor, found where it is painted.
void take_cursor(Widget const& w, Canvas const& canvas, PaintedCursor& cursor) {
  cursor.at = w.cursor ? std::optional<Point>{plus(canvas.at, *w.cursor)} : std::nullopt;
  cursor.shape = w.cursor_shape;
}

void send_paint_events(Widget& w, Canvas canvas, PaintedCursor& cursor, Widget const* focused) {
  for (Widget& child : w.get_children()) {
    if (!filter::is_active(child)) {
      continue;
    }
    send_paint_events(child, Canvas{canvas.buffer, plus(canvas.at, child.at), child.size}, cursor,
                      focused);
  }
  if (!w.active || w.size.width <= 0 || w.size.height <= 0) {
    return;
  }
  if (auto const safe = inside_buffer(canvas)) {
    w.paint(*safe);
    if (focused == &w) {
      take_cursor(w, canvas, cursor);
    }
  }
}

void send_paint_events(Widget& w, Canvas canvas, PaintedCursor& cursor) {
  send_paint_events(w, canvas, cursor, Focus::get());
}

detail::CellRect rect_of(Canvas const& canvas) {
  return {canvas.at.x, canvas.at.y, canvas.size.width, canvas.size.height};
}

// Walks a tree as send_paint_events does, recording instead of painting each widget it would
// paint, with its key.
struct PaintRecorder {
  // The canvas goes down as its origin and size: a canvas passed by value was a
  // store-forwarding stall per widget.
  void walk(Widget& w, Point at, Area size) {
    struct Children final : ChildVisitor {
      Children(PaintRecorder& recorder, Point origin) : recorder{recorder}, origin{origin} {}
      void visit(Widget& child) override {
        if (child.active) {
          recorder.walk(child, plus(origin, child.at), child.size);
        }
      }
      PaintRecorder& recorder;
      Point origin;
    };
    Children children{*this, at};
    w.visit_children(children);
    if (!w.active || w.size.width <= 0 || w.size.height <= 0) {
      return;
    }
    // As inside_buffer() cuts a canvas, without building one.
    Area const grid = buffer.area;
    if (at.x < 0 || at.y < 0 || at.x >= grid.width || at.y >= grid.height) {
      return;
    }
    bool const has_focus = focused == &w;
    if (has_focus) {
      focused_entry = frame.widgets.size();
    }
    auto const key_begin = static_cast<std::uint32_t>(frame.keys.size());
    PaintKey key{frame.keys};
    bool const keyed = w.paint_key(key);
    detail::PaintedWidget& entry = frame.widgets.emplace_back();
    entry.widget = &w;
    entry.rect = {at.x, at.y, std::min(size.width, grid.width - at.x),
                  std::min(size.height, grid.height - at.y)};
    entry.key_begin = key_begin;
    entry.key_end = static_cast<std::uint32_t>(frame.keys.size());
    entry.keyed = keyed;
    entry.focused = has_focus;
  }

  // An overlay's rectangle, blanked before the overlay is painted.
  void clearing(Overlay& overlay, Canvas const& area) {
    detail::PaintedWidget entry{&overlay, rect_of(area)};
    entry.clears = true;
    entry.keyed = true;
    entry.key_begin = entry.key_end = static_cast<std::uint32_t>(frame.keys.size());
    frame.widgets.push_back(entry);
  }

  ScreenBuffer& buffer;
  detail::FrameRecord& frame;
  Widget const* focused;
  // The focused widget's entry: its cursor is read after it is painted, which may move it.
  std::optional<std::size_t> focused_entry;
};

// Finds which widgets paint as in the frame before, and the region to paint again: where a
// widget that does not was painted, and where it is now.
void compare_frames(detail::KeptFrame& kept) {
  std::vector<detail::PaintedWidget>& now = kept.now.widgets;
  std::vector<detail::PaintedWidget> const& before = kept.before.widgets;
  std::size_t const common = std::min(now.size(), before.size());
  for (std::size_t i = 0; i < common; ++i) {
    now[i].same = detail::paints_alike(kept.before, before[i], kept.now, now[i]);
    if (!now[i].same) {
      kept.region.add(before[i].rect);
      kept.region.add(now[i].rect);
    }
  }
  for (std::size_t i = common; i < before.size(); ++i) {
    kept.region.add(before[i].rect);
  }
  for (std::size_t i = common; i < now.size(); ++i) {
    now[i].same = false;
    kept.region.add(now[i].rect);
  }
}

void blank_region(ScreenBuffer& buffer, detail::RowSpans const& region) {
  // A constant: a blank made in the loop was built on the stack and reloaded for every cell.
  static constexpr dalk::Glyph blank{};
  for (int y = region.top(); y < region.bottom(); ++y) {
    int const begin = std::max(region.begin(y), 0);
    int const end = std::min(region.end(y), buffer.area.width);
    if (begin < end) {
      auto const row = buffer.glyphs.begin() + static_cast<std::ptrdiff_t>(y) * buffer.area.width;
      std::fill(row + begin, row + end, blank);
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

// Enter and leave: the path under the old position is left and the path under the new one
// entered, both walked even inside one widget (widgets treat enter and leave as setting a hovered
// state and end up entered). With bare areas a move between a child and a bare area of the root
// also leaves (or enters) the child's path, so a hovered look never outlives the pointer;
// without, only moves between two children count.
void hover_changes(Widget& root, Point previous, Point now, bool bare_areas) {
  Widget* old_child = find_widget_at(root, previous);
  Widget* new_child = find_widget_at(root, now);
  if (now == previous || (!bare_areas && (old_child == nullptr || new_child == nullptr))) {
    return;
  }
  if (old_child != nullptr) {
    send_leave_events(*old_child, minus(previous, old_child->at));
  }
  if (new_child != nullptr) {
    send_enter_events(*new_child, minus(now, new_child->at));
  }
}

bool in_subtree(Widget& root, Widget const* w) {
  return w != nullptr && find_if_depth_first(root, [w](Widget const& x) { return &x == w; });
}

// How events travel: Tab over the widgets `walk` visits, enter and leave by `bare_areas`.
struct Rules {
  Walk walk;
  bool bare_areas;
};
constexpr Rules plain_rules{walk_whole_tree, false};
constexpr Rules dispatcher_rules{walk_painted, true};

// The one path every event takes, a handler per alternative: through the tree and, for a
// dispatcher (state not null), its overlays, bindings and function timers. A new input event
// needs one handler here and nothing else in the dispatcher.
class Route {
 public:
  Route(Widget& head, Point& previous_mouse, Rules rules, detail::DispatchState* state)
      : head_{head}, previous_mouse_{previous_mouse}, rules_{rules}, state_{state} {}

  std::optional<QuitRequest> operator()(dalk::MousePress const& e) {
    Overlay* const top = placed_top();
    if (!to_pointer<SetFocus::Yes>(top, e.mouse, &Widget::mouse_press)) {
      top->outside_press(e.mouse);
    }
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(dalk::MouseRelease const& e) {
    to_pointer<SetFocus::No>(placed_top(), e.mouse, &Widget::mouse_release);
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(dalk::MouseWheel const& e) {
    to_pointer<SetFocus::No>(placed_top(), e.mouse, &Widget::mouse_wheel);
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(dalk::MouseMove const& e) {
    Overlay* const top = placed_top();
    // Hover follows the pointer inside an open overlay; nothing below it hears the move.
    Widget& root = top != nullptr ? *top : head_;
    Point const origin = top != nullptr ? top->at : Point{0, 0};
    hover_changes(root, minus(previous_mouse_, origin), minus(e.mouse.at, origin),
                  rules_.bare_areas);
    to_pointer<SetFocus::No>(top, e.mouse, &Widget::mouse_move);
    previous_mouse_ = e.mouse.at;
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(dalk::KeyPress const& e) {
    Overlay* const top = placed_top();
    if (top != nullptr && top->intercept_key(e.key)) {
      return std::nullopt;
    }
    // Application keys come after what the overlay claims and before the focused widget.
    if (state_ != nullptr && state_->run_binding(e.key)) {
      return std::nullopt;
    }
    Widget* scope = &head_;
    if (top != nullptr) {
      if (!in_subtree(*top, Focus::get())) {
        // Keys never reach what lies below a modal overlay.
        detail::focus_first_widget(*top);
      }
      scope = top;
    }
    key_press_walking(*scope, e.key, rules_.walk);
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(dalk::KeyRelease const& e) {
    if (Widget* const focused = focused_in_reach()) {
      focused->key_release(e.key);
    }
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(dalk::Paste const& e) {
    if (Widget* const focused = focused_in_reach()) {
      focused->paste(e.text);
    }
    return std::nullopt;
  }

  // The session acts on the answers first (the kitty flags, synchronized output): it writes,
  // and this is the loop's thread.
  std::optional<QuitRequest> operator()(dalk::AnswersChanged const& e) {
    dalk::text::WidthModel const model = dalk::text::width_model();
    dalk::use_answers(e.answers);
    if (dalk::text::width_model() != model) {
      // Text measures differently now: every cell of the screen is written again.
      detail::request_full_redraw();
    }
    to_every_widget([&answers = e.answers](Widget& w) { w.terminal_answers(answers); });
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(dalk::Resize const& e) {
    Area const previous = head_.size;
    head_.size = e.area;
    head_.resize(previous);
    for (Overlay* overlay : open_overlays()) {
      overlay->place(head_.size);
    }
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(event::Timer const& e) {
    to_every_widget([id = e.id](Widget& w) { w.timer(id); });
    if (state_ != nullptr) {
      state_->run_timer_function(e.id);
    }
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(dalk::Focus const& e) {
    to_every_widget([focused = e.focused](Widget& w) { w.window_focus(focused); });
    return std::nullopt;
  }

  std::optional<QuitRequest> operator()(event::Custom const& e) { return e.function(); }

  std::optional<QuitRequest> operator()(event::Interrupt const&) { return QuitRequest{1}; }

 private:
  // The topmost open overlay, placed for the current screen (the head's size), or null.
  Overlay* placed_top() {
    Overlay* const top = state_ != nullptr ? state_->top_overlay() : nullptr;
    if (top != nullptr) {
      top->place(head_.size);
    }
    return top;
  }

  std::vector<Overlay*> open_overlays() {
    return state_ != nullptr ? state_->open_overlays() : std::vector<Overlay*>{};
  }

  // Gives a pointer event to the deepest active widget under it, inside the open overlay top
  // (in its coordinates) or, without one, in the tree. False when it lies outside top.
  template <SetFocus Focusing>
  bool to_pointer(Overlay* top, dalk::Mouse mouse, MouseHandler handler) {
    if (top == nullptr) {
      any_mouse_event<Focusing>(head_, mouse, handler);
      return true;
    }
    if (!contains(*top, mouse.at)) {
      return false;
    }
    mouse.at = minus(mouse.at, top->at);
    any_mouse_event<Focusing>(*top, mouse, handler);
    return true;
  }

  // The focused widget, unless an open overlay keeps the event from it.
  Widget* focused_in_reach() {
    Widget* const focused = Focus::get();
    Overlay* const top = placed_top();
    return top == nullptr || in_subtree(*top, focused) ? focused : nullptr;
  }

  // The tree, then every open overlay, bottom first.
  void to_every_widget(std::function<void(Widget&)> const& f) {
    for_each_depth_first(head_, f);
    for (Overlay* overlay : open_overlays()) {
      for_each_depth_first(*overlay, f);
    }
  }

  Widget& head_;
  Point& previous_mouse_;
  Rules rules_;
  detail::DispatchState* state_;
};

// One event by the plain rules (or others without a dispatcher), outside any dispatcher.
template <typename E>
void plain(Widget& head, E const& event, Rules rules = plain_rules) {
  Point previous_mouse{0, 0};
  Route{head, previous_mouse, rules, nullptr}(event);
}

// Which dispatcher open(), every() and after() reach is a rule over every dispatcher of the
// process: their states, in construction order, and the one waiting for the next dispatcher.
struct Dispatchers {
  std::mutex mutex;
  std::vector<std::weak_ptr<detail::DispatchState>> alive;
  std::shared_ptr<detail::DispatchState> waiting;
};

Dispatchers& dispatchers() {
  static Dispatchers instance;
  return instance;
}

// The state of the dispatcher handling an event on this thread, if any.
thread_local detail::DispatchState* dispatching_state = nullptr;

// Makes a dispatcher the one on this thread while it handles an event or paints.
class Dispatching {
 public:
  explicit Dispatching(detail::DispatchState* state)
      : previous_{std::exchange(dispatching_state, state)} {}
  Dispatching(Dispatching const&) = delete;
  Dispatching& operator=(Dispatching const&) = delete;
  ~Dispatching() { dispatching_state = previous_; }

 private:
  detail::DispatchState* previous_;
};

// A new dispatcher's state: the waiting one if there is one, listed as the latest.
std::shared_ptr<detail::DispatchState> registered_state() {
  Dispatchers& all = dispatchers();
  std::scoped_lock const lock{all.mutex};
  std::shared_ptr<detail::DispatchState> state = std::exchange(all.waiting, nullptr);
  if (!state) {
    state = std::make_shared<detail::DispatchState>();
  }
  std::erase_if(all.alive, [](auto const& view) { return view.expired(); });
  all.alive.push_back(state);
  return state;
}

}  // namespace

namespace detail {

std::shared_ptr<DispatchState> current_dispatch_state() {
  if (dispatching_state != nullptr) {
    return dispatching_state->shared_from_this();
  }
  Dispatchers& all = dispatchers();
  std::scoped_lock const lock{all.mutex};
  for (auto view = all.alive.rbegin(); view != all.alive.rend(); ++view) {
    if (std::shared_ptr<DispatchState> state = view->lock()) {
      return state;
    }
  }
  if (!all.waiting) {
    all.waiting = std::make_shared<DispatchState>();
  }
  return all.waiting;
}

bool DispatchState::run_binding(dalk::Key key) {
  auto const found = std::find_if(bindings.rbegin(), bindings.rend(),
                                  [key](Binding const& binding) { return binding.key == key; });
  if (found == bindings.rend()) {
    return false;
  }
  // A copy: the action may unbind itself.
  std::function<void()> const action = found->action;
  if (action) {
    action();
  }
  return true;
}

void dispatch_mouse_press(Widget& head, dalk::Mouse mouse) {
  plain(head, dalk::MousePress{mouse});
}

void dispatch_mouse_release(Widget& head, dalk::Mouse mouse) {
  plain(head, dalk::MouseRelease{mouse});
}

void dispatch_mouse_wheel(Widget& head, dalk::Mouse mouse) {
  plain(head, dalk::MouseWheel{mouse});
}

void dispatch_mouse_move(Widget& head, Point& previous_mouse, dalk::Mouse mouse) {
  Route{head, previous_mouse, plain_rules, nullptr}(dalk::MouseMove{mouse});
}

void dispatch_key_press(Widget& head, dalk::Key key) {
  plain(head, dalk::KeyPress{key});
}

void dispatch_painted_key_press(Widget& head, dalk::Key key) {
  plain(head, dalk::KeyPress{key}, dispatcher_rules);
}

void dispatch_hovering_mouse_move(Widget& head, Point& previous_mouse, dalk::Mouse mouse) {
  Route{head, previous_mouse, dispatcher_rules, nullptr}(dalk::MouseMove{mouse});
}

void dispatch_key_release(dalk::Key key) {
  if (Widget* const focused = Focus::get()) {
    plain(*focused, dalk::KeyRelease{key});
  }
}

void dispatch_resize(Widget& head, dalk::Area area) {
  plain(head, dalk::Resize{area});
}

void dispatch_timer(Widget& head, int id) {
  plain(head, event::Timer{id});
}

void dispatch_paste(std::string_view text) {
  if (Widget* const focused = Focus::get()) {
    plain(*focused, dalk::Paste{std::string{text}});
  }
}

void dispatch_focus(Widget& head, bool focused) {
  plain(head, dalk::Focus{focused});
}

std::optional<Point> paint_tree(Widget& head, Canvas canvas) {
  PaintedCursor cursor;
  send_paint_events(head, canvas, cursor);
  return cursor.at;
}

}  // namespace detail

TreeDispatcher::TreeDispatcher(Widget& head) : head{head}, state_{registered_state()} {}

std::optional<QuitRequest> TreeDispatcher::handle(Event const& event) {
  Dispatching const dispatching{state_.get()};
  if (kept_ && std::holds_alternative<dalk::AnswersChanged>(event)) {
    // Widths and colours may read otherwise now.
    kept_->valid = false;
  }
  return std::visit(Route{head, previous_mouse, dispatcher_rules, state_.get()}, event);
}

std::optional<Point> TreeDispatcher::handle_paint(Canvas canvas) {
  if (reuse_cells && canvas.at == Point{0, 0} && canvas.size == canvas.buffer.area) {
    return paint_kept(canvas);
  }
  if (kept_) {
    kept_->valid = false;
  }
  // A dispatcher keeping cells of this grid must not take this frame for its own.
  ++canvas.buffer.generation;
  Dispatching const dispatching{state_.get()};
  PaintedCursor cursor;
  send_paint_events(head, canvas, cursor);
  std::vector<Overlay*> const overlays =
      state_ != nullptr ? state_->open_overlays() : std::vector<Overlay*>{};
  if (!overlays.empty()) {
    // Only the overlays' widgets can have focus that shows while one is open.
    cursor = {};
  }
  for (Overlay* overlay : overlays) {
    overlay->place(head.size);
    Canvas const area{canvas.buffer, plus(canvas.at, overlay->at), overlay->size};
    if (auto const safe = inside_buffer(area)) {
      // What lies below does not show through.
      clear(*safe);
    }
    send_paint_events(*overlay, area, cursor);
  }
  Terminal::cursor_shape = cursor.shape;
  return cursor.at;
}

std::optional<Point> TreeDispatcher::paint_kept(Canvas canvas) {
  Dispatching const dispatching{state_.get()};
  if (!kept_) {
    kept_ = std::make_shared<detail::KeptFrame>();
  }
  detail::KeptFrame& kept = *kept_;
  ScreenBuffer& buffer = canvas.buffer;
  Area const area = buffer.area;
  std::uint64_t const releases = dalk::text::detail::cluster_releases();
  // Cells laid out under other widths are not kept.
  dalk::text::WidthModel const widths = dalk::text::width_model();
  bool const cells_kept = kept.valid && kept.grid == &buffer &&
                          kept.generation == buffer.generation && kept.area == area &&
                          kept.cluster_releases == releases && kept.widths == widths;
  kept.valid = false;

  // First every widget's rectangle and key, as the paint would find them.
  kept.now.clear();
  PaintRecorder recorder{buffer, kept.now, Focus::get(), std::nullopt};
  recorder.walk(head, canvas.at, canvas.size);
  std::vector<Overlay*> const overlays =
      state_ != nullptr ? state_->open_overlays() : std::vector<Overlay*>{};
  if (!overlays.empty()) {
    // Only the overlays' widgets can have focus that shows while one is open.
    recorder.focused_entry.reset();
  }
  for (Overlay* overlay : overlays) {
    overlay->place(head.size);
    Canvas const overlay_area{buffer, plus(canvas.at, overlay->at), overlay->size};
    if (auto const safe = inside_buffer(overlay_area)) {
      recorder.clearing(*overlay, *safe);
    }
    recorder.walk(*overlay, overlay_area.at, overlay_area.size);
  }

  // Then the region to paint again: blanked, and every widget that reaches into it painted
  // again in order, which widens it by the widget's rectangle (what was painted over that
  // widget must be painted over it again).
  kept.region.reset(area.height);
  if (cells_kept) {
    compare_frames(kept);
  } else {
    for (detail::PaintedWidget& w : kept.now.widgets) {
      w.same = false;
    }
    kept.region.add({0, 0, area.width, area.height});
  }
  if (!kept.region.empty()) {
    blank_region(buffer, kept.region);
  }
  for (detail::PaintedWidget const& w : kept.now.widgets) {
    if (w.same && !kept.region.intersects(w.rect)) {
      continue;
    }
    Canvas const target{buffer, {w.rect.x, w.rect.y}, {w.rect.width, w.rect.height}};
    if (w.clears) {
      clear(target);
    } else {
      w.widget->paint(target);
    }
    kept.region.add(w.rect);
  }

  auto const rows = static_cast<std::size_t>(area.height);
  if (buffer.painted_rows.size() != rows) {
    buffer.painted_rows.assign(rows, 1);
  }
  for (int y = kept.region.top(); y < kept.region.bottom(); ++y) {
    if (kept.region.begin(y) < kept.region.end(y)) {
      buffer.painted_rows[static_cast<std::size_t>(y)] = 1;
    }
  }
  buffer.kept = true;
  std::swap(kept.before, kept.now);
  kept.grid = &buffer;
  // Any other paint into this grid, by another dispatcher too, moves the generation on.
  kept.generation = ++buffer.generation;
  kept.area = area;
  kept.cluster_releases = releases;
  kept.widths = widths;
  kept.valid = true;
  PaintedCursor cursor;
  if (recorder.focused_entry) {
    detail::PaintedWidget const& focused = kept.before.widgets[*recorder.focused_entry];
    take_cursor(*focused.widget, Canvas{buffer, {focused.rect.x, focused.rect.y}, {}}, cursor);
  }
  Terminal::cursor_shape = cursor.shape;
  return cursor.at;
}

BindingId TreeDispatcher::bind(dalk::Key key, std::function<void()> action) {
  if (!state_) {
    // Moved from: bindings of its own from now on.
    state_ = std::make_shared<detail::DispatchState>();
  }
  BindingId const id{state_->bindings_made++};
  state_->bindings.push_back({id, key, std::move(action)});
  return id;
}

void TreeDispatcher::unbind(BindingId id) {
  if (state_) {
    std::erase_if(state_->bindings,
                  [id](detail::DispatchState::Binding const& binding) { return binding.id == id; });
  }
}

}  // namespace vn

// A test kit for applications: drives a widget tree without a terminal, through the event loop's
// own dispatch (vn::apply_event over the vn::TreeDispatcher that vn::Application is), and reads
// back what the screen would show. Every delivered event is followed by a paint, as in the event
// loop when its queue is drained (a run paints a burst once, at its end: the same final screen),
// so widgets that lay themselves out while painting (the text box does) see keys just as they
// would in a run typed at human speed.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "vn/dispatch.hpp"
#include "vn/event.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/timer.hpp"
#include "vn/widget.hpp"

namespace vn::testing {

/// Stands in for a terminal and an event loop around a head widget. A sketch of a test:
///
///     vn::LineEdit name{{.placeholder = "name"}};
///     vn::testing::Harness screen{name, {20, 1}};
///     screen.click({0, 0});  // focus by mouse, as in a run
///     screen.type("Ada");
///     EXPECT_EQ(screen.line(0), "Ada                 ");
///     EXPECT_EQ(screen.cursor(), (dalk::Point{3, 0}));
///
/// The harness's dispatcher has its own overlays, function timers (vn::every, vn::after) and key
/// bindings, as a run's has: overlays opened and function timers made while the harness is the
/// latest dispatcher constructed (or while it dispatches) are its own. Focus (vn::Focus) is
/// process-wide: the harness clears it when it is constructed, and a test using it should run
/// in a process of its own, as every TEST does under ctest with gtest_discover_tests. Timers a
/// widget starts still run their threads and post into vn::Terminal::event_queue, which nothing
/// reads here; deliver their ticks with tick().
/// Event-loop rules apply: use the harness and the tree from one thread only.
class Harness {
 public:
  /// Refers to head (which must outlive the harness) and clears focus, then acts as a run's
  /// first event: a resize to `size` (the head's size becomes `size`, head.resize gets the
  /// previous one) followed by a paint. A negative width or height counts as 0.
  explicit Harness(Widget& head, dalk::Area size = {80, 24});
  Harness(Harness const&) = delete;
  Harness& operator=(Harness const&) = delete;

  // Every delivery below dispatches one event as Application does and then repaints the whole
  // tree onto a blank screen; exceptions from widget code propagate unaltered.

  /// One key press, to the focused widget (dropped when nothing has focus); Tab and Shift+Tab
  /// (Key::BackTab) move focus first when the focused widget is Tab-capable.
  void key_press(dalk::Key key);
  /// One key release, to the focused widget.
  void key_release(dalk::Key key);
  /// One key press per code point of the UTF-8 `text`, each followed by a paint; '\n' is sent
  /// as Key::Enter (what the Enter key sends), every other code point as the key of that value,
  /// so "\t" is Tab. Malformed UTF-8 throws std::runtime_error "Invalid UTF-8 sequence" before
  /// any key is delivered.
  void type(std::string_view text);

  /// Positions are screen cells. A press goes to the deepest active widget under the pointer,
  /// which first takes focus if its policy allows clicks.
  void press(dalk::Point at, dalk::Mouse::Button button = dalk::Mouse::Button::Left);
  void release(dalk::Point at, dalk::Mouse::Button button = dalk::Mouse::Button::Left);
  /// A press and then a release at the same cell: two events, two paints.
  void click(dalk::Point at, dalk::Mouse::Button button = dalk::Mouse::Button::Left);
  /// A wheel event with Mouse::Button::ScrollUp or ScrollDown, as the terminal reports them.
  void wheel_up(dalk::Point at);
  void wheel_down(dalk::Point at);
  /// A move with no button held (Mouse::Button::None); widgets along the old and new paths get
  /// mouse_leave and mouse_enter as in a run. The first move is compared with (0, 0).
  void move_to(dalk::Point at);
  /// The full forms, for modifiers or a drag (a move with Mouse::Button::Left).
  void mouse_press(dalk::Mouse mouse);
  void mouse_release(dalk::Mouse mouse);
  void mouse_wheel(dalk::Mouse mouse);
  void mouse_move(dalk::Mouse mouse);

  /// A window-size change: the screen takes the new size and is blanked, the head's size
  /// becomes `size` and head.resize gets the previous one. Negative extents count as 0.
  void resize(dalk::Area size);
  /// A paste of the UTF-8 `text`, given whole to the focused widget (dropped when nothing has
  /// focus), as a terminal with bracketed paste reports it.
  void paste(std::string_view text);
  /// The terminal window gaining (true) or losing focus, given to every widget of the tree.
  void window_focus(bool focused);
  /// A timer tick, given to every widget of the tree, active or not.
  void tick(int timer_id);
  /// A tick of this timer (its id), whether it is running or not.
  void tick(Timer const& timer);

  /// Any event, applied as the event loop applies it. event::Custom runs its function and
  /// event::Interrupt asks to quit with code 1; a quit request is returned and, as in the
  /// loop, not followed by a paint. Other events return nothing.
  std::optional<QuitRequest> deliver(Event const& event);
  /// Delivers what other code has queued into vn::Terminal::event_queue (vn::post, vn::quit,
  /// ticks of running timers), as the loop would: waits up to `wait` for the first event, then
  /// takes every event already queued, each followed by a paint, until the queue is empty or an
  /// event asks to quit (that request is returned; later events stay queued). Meanwhile this
  /// thread is the event loop's: vn::post from other threads waits for room in the queue.
  std::optional<QuitRequest> run_queued(std::chrono::milliseconds wait = std::chrono::milliseconds{
                                            0});
  /// Repaints without an event, for state changed by the test itself (a label's text, focus
  /// set with vn::Focus::set): reads show the last paint, as a terminal shows the last frame.
  void paint();

  /// The head widget.
  Widget& head() const { return dispatcher_.head; }
  /// The dispatcher the deliveries go through, for its key bindings (TreeDispatcher::bind).
  /// Its reuse_cells is off: every frame is painted whole onto a blank screen. Turned on,
  /// frames keep the cells of unchanged widgets as in a run, which tests a widget's paint_key.
  TreeDispatcher& dispatcher() { return dispatcher_; }
  /// The screen's size.
  dalk::Area size() const { return screen_.area; }
  /// The cells of the last paint.
  ScreenBuffer const& screen() const { return screen_; }
  /// The last paint's rows as UTF-8, full width, as the terminal shows them. Control
  /// characters (U+0000 to U+001F, U+007F to U+009F) read as U+FFFD; a glyph two cells wide
  /// (dalk::width) reads once and its second cell is skipped, or as a space in the last
  /// column; a zero-width code point alone in its cell reads as a space.
  std::vector<std::string> lines() const;
  /// The rows of the rectangle at `at` of `size` that lie on the screen, each cut to the
  /// screen's columns (and so possibly empty); a wide glyph belongs to the column it starts in.
  std::vector<std::string> lines(dalk::Point at, dalk::Area size) const;
  /// Row y as in lines(); throws std::out_of_range "Harness::line(): y is outside the screen".
  std::string line(int y) const;
  /// The cell at p with its brush, as painted; throws std::out_of_range "Harness::cell(): p is
  /// outside the screen".
  dalk::Glyph const& cell(dalk::Point p) const;
  /// Where the loop would show the terminal cursor after the last paint: the focused widget's
  /// cursor in screen cells, empty when it has none or was not painted.
  std::optional<dalk::Point> cursor() const { return cursor_; }
  /// The first cell, row by row, where the code points of the UTF-8 `text` (composed to NFC,
  /// as drawn text is) appear on one row (compared as lines() shows them); empty when nowhere
  /// or when `text` is empty. Malformed UTF-8 throws std::runtime_error "Invalid UTF-8
  /// sequence".
  std::optional<dalk::Point> find(std::string_view text) const;

 private:
  // The handlers of a run; the screen stands in for the terminal's paint grid.
  TreeDispatcher dispatcher_;
  ScreenBuffer screen_;
  std::optional<dalk::Point> cursor_;
};

}  // namespace vn::testing

// The library's demonstration: every ready-made widget working together in one application.
// Labels in each alignment, buttons with fading highlights, check boxes that change what the
// other widgets do, a validated line edit, a text box with a linked scroll bar, a data table of a
// hundred rows, panels framed in every border style, every divider style, and an animation
// driven by a timer. A second page behind the text box holds a list, radio buttons, a progress
// bar moved by a function timer, and buttons opening a dialog and a popup menu. It fills any
// terminal size; larger terminals get a wider text box, more table rows and a longer event log.
//
// Tab and Shift+Tab move the focus, as do clicks; the wheel scrolls the text box, its scroll
// bar and the table; a click on a page title or F2 turns the page. Exit status: 0 when the Quit
// button ends it, 1 after Ctrl+C.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <iomanip>
#include <limits>
#include <locale>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <dalk/output_profile.hpp>
#include <vn/vn.hpp>

namespace {

using dalk::Brush;
using dalk::Color;
using dalk::Glyph;
using dalk::Trait;
using dalk::TrueColor;
using dalk::XColor;
using std::chrono::milliseconds;

using Line = vn::Row<std::vector<vn::Widget*>>;
using Stack = vn::Column<std::vector<vn::Widget*>>;

constexpr TrueColor panel_gray{90, 96, 110};
constexpr TrueColor highlight{255, 200, 60};
constexpr TrueColor field{40, 44, 54};
constexpr TrueColor dim_text{130, 136, 150};
constexpr TrueColor bright_text{235, 235, 240};

// Writes text from `at` with `brush`, one code point per cell, clipped to the canvas.
void put_text(vn::Canvas canvas, dalk::Point at, std::u32string_view text, Brush const& brush) {
  for (char32_t const c : text) {
    vn::put(canvas, at, Glyph{c, brush});
    ++at.x;
  }
}

std::u32string utf32(std::string const& text) {
  return dalk::detail::u8_string_to_u32_string(text);
}

// A panel: a child in a border whose frame and title light up while the focused widget is inside
// it, with the name of the border's style at the top right.
class Panel : public vn::Bordered<vn::Widget*> {
 public:
  Panel(vn::Border frame, std::string style, vn::Widget& inner, vn::SizePolicy policy)
      : Bordered{std::move(frame), &inner, vn::FocusPolicy::None, policy},
        style_{utf32(" " + style + " ")} {
    border.label.text = " " + border.label.text + " ";
  }

  void paint(vn::Canvas canvas) override {
    bool const lit = holds_focus();
    border.brush = Brush{XColor::Default, lit ? Color{highlight} : Color{panel_gray},
                         lit ? dalk::Traits{Trait::Bold} : dalk::Traits{}};
    border.label.brush =
        Brush{XColor::Default, lit ? Color{highlight} : Color{bright_text}, Trait::Bold};
    Bordered::paint(canvas);
    int const x = canvas.size.width - 2 - static_cast<int>(style_.size());
    if (x > 3 + static_cast<int>(border.label.text.size())) {
      put_text(canvas, {x, 0}, style_, Brush{XColor::Default, dim_text, Trait::Italic});
    }
  }

 private:
  bool holds_focus() {
    vn::Widget const* const focused = vn::Focus::get();
    return focused != nullptr && vn::find_if_depth_first(*child, [focused](vn::Widget const& w) {
                                   return &w == focused;
                                 }) != nullptr;
  }

  std::u32string style_;
};

// A line edit on a shaded field, so that its extent shows while it is empty.
class Field : public vn::LineEdit {
 public:
  using LineEdit::LineEdit;

  void paint(vn::Canvas canvas) override {
    vn::put(canvas, {0, 0}, vn::shape::Fill{Glyph{U' ', brush}, canvas.size});
    LineEdit::paint(canvas);
  }
};

// A spinner and a block bouncing along a track, moved by its own timer.
class Animation : public vn::Widget {
 public:
  Animation() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()} {}

  void set_running(bool running) {
    if (running) {
      timer_.start();
    } else {
      timer_.stop();
    }
  }
  bool running() const { return timer_.is_running(); }

  void timer(int id) override {
    if (id == timer_.id()) {
      ++frame_;
    }
  }

  void paint(vn::Canvas canvas) override {
    static constexpr std::u32string_view spinner = U"⠋⠙⠹⠸⠼⠴⠦⠧⠇⠏";
    int const w = canvas.size.width;
    int const row = canvas.size.height / 2;
    std::size_t const frame = static_cast<std::size_t>(frame_);
    vn::put(canvas, {0, row},
            Glyph{spinner[frame % spinner.size()], {XColor::Default, highlight, {}}});
    std::u32string_view const state = running() ? U"running" : U"paused ";
    int const track = w - 3 - static_cast<int>(state.size()) - 1;
    if (track < 4) {
      return;
    }
    vn::put(canvas, {2, row}, vn::shape::HLine{track, U'─'}, Brush{XColor::Default, field, {}});
    int const block = std::max(2, std::min(8, track / 3));
    int const period = 2 * (track - block);
    int const step = period > 0 ? frame_ % period : 0;
    int const position = step <= track - block ? step : period - step;
    for (int i = 0; i < block; ++i) {
      float const t = static_cast<float>(i) / static_cast<float>(block - 1);
      TrueColor const color = vn::gradient_blend({0, 190, 255}, {255, 70, 200}, t);
      vn::put(canvas, {2 + position + i, row}, Glyph{U'█', {XColor::Default, color, {}}});
    }
    put_text(canvas, {w - static_cast<int>(state.size()), row}, state,
             Brush{XColor::Default, running() ? Color{bright_text} : Color{dim_text}, {}});
  }

 private:
  vn::Timer timer_{milliseconds{80}, true};
  int frame_ = 0;
};

// The latest events, newest at the bottom; older lines fade.
class EventLog : public vn::Widget {
 public:
  EventLog() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()} {}

  void add(std::string text) {
    ++count_;
    lines_.push_back(std::to_string(count_) + "  " + std::move(text));
    if (lines_.size() > 200) {
      lines_.pop_front();
    }
  }

  void paint(vn::Canvas canvas) override {
    int const h = canvas.size.height;
    int const shown = std::min(h, static_cast<int>(lines_.size()));
    for (int i = 0; i < shown; ++i) {
      std::string const& text = lines_[lines_.size() - static_cast<std::size_t>(shown - i)];
      float const age = static_cast<float>(shown - 1 - i) / static_cast<float>(std::max(h - 1, 1));
      TrueColor const color = vn::gradient_blend(bright_text, dim_text, std::min(1.0F, 2 * age));
      put_text(canvas, {0, h - shown + i}, utf32(text), Brush{XColor::Default, color, {}});
    }
    if (lines_.empty()) {
      put_text(canvas, {0, h - 1}, U"Events show here.",
               Brush{XColor::Default, dim_text, Trait::Italic});
    }
  }

 private:
  std::deque<std::string> lines_;
  int count_ = 0;
};

// Tabs whose titles take clicks but not Tab, so that the keyboard's round of the widgets stays
// as it is; a click on a title hands the focus on to the page it shows.
class PageTabs : public vn::Tabs {
 public:
  PageTabs() : Tabs{options()} {}

  void show(int index) {
    select(index);
    int i = 0;
    for (vn::Widget& page : get_children()) {
      if (i++ == selected()) {
        if (vn::Widget* first = vn::find_if_depth_first(
                page, [](vn::Widget const& w) { return vn::is_tab_focusable(w.focus_policy); })) {
          vn::Focus::set(*first);
        }
      }
    }
  }

  void mouse_press(dalk::Mouse mouse) override {
    Tabs::mouse_press(mouse);
    show(selected());
  }

 private:
  static Options options() {
    Options o;
    o.bar_brush = Brush{XColor::Default, dim_text, {}};
    o.selected_brush = Brush{XColor::Default, highlight, Trait::Bold};
    o.focus_policy = vn::FocusPolicy::Click;
    return o;
  }
};

// A button that remembers where it was last painted, so that a menu can open under it.
class AnchorButton : public vn::Button {
 public:
  using Button::Button;

  void paint(vn::Canvas canvas) override {
    origin = canvas.at;
    Button::paint(canvas);
  }

  dalk::Point origin{0, 0};
};

// The data table with a caption under it that tells which rows are shown. The table gets an
// odd height, so that its last row closes with the bottom of its frame.
class TableView : public vn::Widget {
 public:
  explicit TableView(vn::DataTable& table)
      : Widget{vn::FocusPolicy::None, vn::SizePolicy{8, std::numeric_limits<int>::max(), 2.0F}},
        table_{table} {}

  void resize(vn::Area) override {
    int const h = size.height;
    int const table_height = std::max(0, (h - 1) % 2 == 1 ? h - 1 : h - 2);
    vn::Area const previous = table_.size;
    table_.at = {0, 0};
    table_.size = {size.width, table_height};
    table_.resize(previous);
  }

  void mouse_wheel(dalk::Mouse mouse) override { table_.mouse_wheel(mouse); }

  void paint(vn::Canvas canvas) override {
    std::size_t const rows = table_.columns.empty() ? 0 : table_.columns.front().size();
    int const shown_rows = std::max(0, (table_.size.height - 3) / 2);
    std::uint64_t const first = table_.scroll_offset + 1;
    std::uint64_t const last = std::min<std::uint64_t>(rows, table_.scroll_offset + shown_rows);
    std::string const text = "rows " + std::to_string(first) + "-" + std::to_string(last) + " of " +
                             std::to_string(rows) + " · the wheel scrolls";
    // On the first row under the table.
    vn::paint_label(
        vn::Canvas{canvas.buffer,
                   {canvas.at.x, canvas.at.y + table_.size.height},
                   {canvas.size.width, std::min(1, canvas.size.height - table_.size.height)}},
        text, vn::Align::Center, Brush{XColor::Default, dim_text, Trait::Italic});
  }

  using Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override { co_yield table_; }

 private:
  vn::DataTable& table_;
};

std::string const text_box_text =
    "Welcome to the Vennic gallery. Everything on this screen is a ready-made widget of the "
    "library, laid out by rows and columns and painted into one grid of cells that is "
    "committed to the terminal a frame at a time.\n\n"
    "This text box is editable: click into it or reach it with Tab, then type. Arrows, Home, "
    "End, Backspace and Delete work as usual, and Enter starts a new line.\n\n"
    "The scroll bar beside it is linked to it both ways. Turn the wheel over the text or over "
    "the bar, or click the bar to jump. The thumb moves in eighths of a cell.\n\n"
    "The check box \"Wrap words\" switches between breaking lines at spaces and breaking "
    "them after a fixed number of characters.\n\n"
    "The buttons fade in when the pointer or the focus reaches them and fade out when it "
    "leaves; the fade is a timer moving a value from 0 to 1, turned into a colour by "
    "gradient_blend.\n\n"
    "The table below holds a hundred rows. Scroll it with the wheel; the caption tells which "
    "rows are shown.\n\n"
    "Every panel is framed in a different border style, named in its top right corner. The "
    "dividers panel shows every divider style.\n\n"
    "The animation is driven by a timer of its own; \"Animate\" stops and restarts it.\n\n"
    "The second page of this panel (click its title or press F2) holds a list, radio buttons "
    "that set the pace of a progress bar, and buttons that open a dialog and a menu.\n\n"
    "Type a name into the line edit (letters, spaces, hyphens and apostrophes only) and press "
    "Enter: the title greets you and the event log records it.\n\n"
    "Quit ends the gallery with exit status 0; Ctrl+C ends it with status 1. Either way the "
    "terminal is restored as it was.\n\n"
    "The end.";

// Deterministic rows for the table.
void fill_table(vn::DataTable& table) {
  static constexpr std::array<char const*, 10> first{"Amber",  "Basalt", "Cobalt", "Dune",
                                                     "Ember",  "Frost",  "Garnet", "Harbor",
                                                     "Indigo", "Juniper"};
  static constexpr std::array<char const*, 10> second{"fox",  "heron", "lynx",  "otter", "raven",
                                                      "seal", "stoat", "swift", "wren",  "yak"};
  static constexpr std::u32string_view bars = U"▁▂▃▄▅▆▇█";
  std::ostringstream amount;
  amount.imbue(vn::digit_separator_locale(3, std::locale::classic()));
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245U + 12345U;
    return (seed >> 16) & 0x7FFFU;
  };
  for (std::size_t i = 0; i < 100; ++i) {
    amount.str("");
    // Padded to the widest amount, so that the digits line up on the right.
    amount << std::setw(7) << (next() * 37 % 1000000);
    std::u32string trend;
    for (int k = 0; k < 6; ++k) {
      trend.push_back(bars[next() % bars.size()]);
    }
    std::string name =
        std::string(first[i % first.size()]) + " " + second[(i * 7 / 10) % second.size()];
    if (i == 1) {
      // Cut by cells where the column is narrow: a wide character is never split.
      name += " 玄武岩 🌋";
    }
    table.add_row(
        {std::to_string(i + 1), std::move(name), amount.str(), dalk::detail::u32_to_u8(trend)});
  }
}

vn::Button::Options button_options(std::string text, TrueColor rest, TrueColor lit) {
  vn::Button::Options options;
  options.label.text = std::move(text);
  options.label.brush = Brush{rest, bright_text, {}};
  options.decoration = vn::Fade{[rest, lit](vn::Canvas canvas, float progress) {
                                  TrueColor const background =
                                      vn::gradient_blend(rest, lit, progress);
                                  for (int y = 0; y < canvas.size.height; ++y) {
                                    for (int x = 0; x < canvas.size.width; ++x) {
                                      canvas[{x, y}].brush.background = background;
                                    }
                                  }
                                },
                                milliseconds{150}, milliseconds{300}};
  options.focused_mod = [](vn::Label& label) {
    label.text = "▸" + label.text + "◂";
    label.brush.traits = label.brush.traits | Trait::Bold;
  };
  options.pressed_mod = [](vn::Label& label) {
    label.brush.traits = label.brush.traits | Trait::Inverse;
  };
  return options;
}

vn::CheckBox::Options check_options(bool checked) {
  vn::CheckBox::Options options;
  options.state = checked ? vn::CheckBox::State::Checked : vn::CheckBox::State::Unchecked;
  options.checked_glyphs = {Glyph{U'[', {}},
                            Glyph{U'✓', {XColor::Default, TrueColor{90, 220, 120}, Trait::Bold}},
                            Glyph{U']', {}}};
  options.in_focus_brush = Brush{highlight, XColor::Black, Trait::Bold};
  return options;
}

// The vertical form of each divider style: one cell wide in a row, after a name.
using OwningLine = vn::Row<std::vector<std::unique_ptr<vn::Widget>>>;
OwningLine vertical_dividers() {
  std::vector<std::unique_ptr<vn::Widget>> children;
  children.push_back(std::make_unique<vn::Label>(
      vn::Label::Options{"vertical ", vn::Align::Right, Brush{XColor::Default, dim_text, {}},
                         vn::SizePolicy::fixed(9)}));
  using Style = vn::Divider (*)(std::string);
  for (Style const style :
       std::array<Style, 6>{&vn::Divider::light, &vn::Divider::bold, &vn::Divider::twin,
                            &vn::Divider::dashed, &vn::Divider::dotted, &vn::Divider::ascii}) {
    children.push_back(std::make_unique<vn::Divider>(style("")));
    children.push_back(std::make_unique<vn::Label>(
        vn::Label::Options{"", vn::Align::Left, Brush{}, vn::SizePolicy::fixed(1)}));
  }
  // As wide as its children, so the flexible sample beside it takes the rest.
  return OwningLine{std::move(children), vn::FocusPolicy::None, vn::SizePolicy::fixed(21)};
}

// A divider after its name, stretched so that it shows its horizontal line.
OwningLine divider_sample(std::string name, std::unique_ptr<vn::Divider> divider) {
  std::vector<std::unique_ptr<vn::Widget>> children;
  children.push_back(std::make_unique<vn::Label>(
      vn::Label::Options{std::move(name) + " ", vn::Align::Right,
                         Brush{XColor::Default, dim_text, {}}, vn::SizePolicy::fixed(7)}));
  divider->size_policy = vn::SizePolicy::flex();
  children.push_back(std::move(divider));
  children.push_back(std::make_unique<vn::Label>(
      vn::Label::Options{"", vn::Align::Left, Brush{}, vn::SizePolicy::fixed(1)}));
  return OwningLine{std::move(children)};
}

vn::Label plain_label(std::string text, vn::Align align = vn::Align::Left) {
  return vn::Label{vn::Label::Options{std::move(text), align, Brush{}, vn::SizePolicy::flex()}};
}

// A widget with a blank column on either side, to keep it off a panel's frame.
using Padded = vn::Row<std::tuple<vn::Label, vn::Widget*, vn::Label>>;
Padded padded(vn::Widget& widget) {
  auto blank = [] {
    return vn::Label{vn::Label::Options{"", vn::Align::Left, Brush{}, vn::SizePolicy::fixed(1)}};
  };
  return vn::make_row(blank(), &widget, blank());
}

// The head widget: the whole screen in a twin frame, with the title and a line of help painted
// over the frame.
class Gallery : public vn::Widget {
 public:
  Gallery() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()} {
    set_up_table();
    vn::link(text_box_, scroll_bar_);
    connect();
    set_colours(true);
    vn::Focus::set(count_);
  }

  void resize(vn::Area previous_size) override {
    if (size != previous_size) {
      log_.add("Window " + std::to_string(size.width) + "x" + std::to_string(size.height));
    }
    vn::Area const previous = frame_.size;
    frame_.size = size;
    frame_.resize(previous);
  }

  void paint(vn::Canvas canvas) override {
    std::u32string title = U" Vennic gallery ";
    if (!greeting_.empty()) {
      title += U"· hello, " + utf32(greeting_) + U"! ";
    }
    int const w = canvas.size.width;
    // Dimmed while the terminal window does not have the focus (with focus reports on).
    Brush const title_brush = window_focused_ ? Brush{XColor::Default, highlight, Trait::Bold}
                                              : Brush{XColor::Default, dim_text, {}};
    put_text(canvas, {std::max(2, (w - static_cast<int>(title.size())) / 2), 0}, title,
             title_brush);
    std::u32string help =
        U" Tab/Shift+Tab: focus · Enter, click: press · wheel: scroll · F2: page · Ctrl+C: quit ";
    if (static_cast<int>(help.size()) > w - 4) {
      help = U" Tab/Shift+Tab: focus · Enter, click: press · wheel: scroll · Ctrl+C: quit ";
    }
    if (static_cast<int>(help.size()) <= w - 4) {
      put_text(canvas, {(w - static_cast<int>(help.size())) / 2, canvas.size.height - 1}, help,
               Brush{XColor::Default, dim_text, {}});
    }
  }

  void window_focus(bool focused) override { window_focused_ = focused; }

  void next_page() { pages_.show((pages_.selected() + 1) % pages_.count()); }
  bool overlay_open() const { return dialog_.is_open() || menu_.is_open(); }

  using Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override { co_yield frame_; }

 private:
  void connect() {
    count_.pressed.connect([this] {
      ++presses_;
      count_.label.text = "Count " + std::to_string(presses_);
      log_.add("Count pressed: " + std::to_string(presses_));
    });
    reset_.pressed.connect([this] {
      presses_ = 0;
      count_.label.text = "Count 0";
      log_.add("Reset pressed");
    });
    quit_.pressed.connect([this] {
      log_.add("Quit pressed");
      // The loop ends with this event's request, after the events queued before it.
      vn::Terminal::event_queue.enqueue(
          vn::event::Custom{[]() -> std::optional<vn::QuitRequest> { return vn::QuitRequest{0}; }});
    });
    animate_.checked.connect([this] {
      animation_.set_running(true);
      log_.add("Animate on");
    });
    animate_.unchecked.connect([this] {
      animation_.set_running(false);
      log_.add("Animate off");
    });
    wrap_.checked.connect([this] {
      text_box_.wrap = vn::TextBox::Wrap::Word;
      log_.add("Wrap words on");
    });
    wrap_.unchecked.connect([this] {
      text_box_.wrap = vn::TextBox::Wrap::Character;
      log_.add("Wrap words off");
    });
    colour_.checked.connect([this] {
      set_colours(true);
      log_.add("Colours on");
    });
    colour_.unchecked.connect([this] {
      set_colours(false);
      log_.add("Colours off");
    });
    name_.submitted.connect([this](std::string const& text) {
      greeting_ = text;
      log_.add("Submitted: " + text);
    });
    pages_.add("Text", text_row_);
    pages_.add("More widgets", more_);
    pages_.changed.connect([this](int page) { log_.add(page == 0 ? "Text page" : "More page"); });
    list_.selection_changed.connect([this](std::size_t i) { log_.add("List: " + list_.item(i)); });
    list_.activated.connect([this](std::size_t i) { log_.add("Chosen: " + list_.item(i)); });
    pace_.changed.connect(
        [this](int i) { log_.add("Pace: " + pace_.choices()[static_cast<std::size_t>(i)]); });
    dialog_button_.pressed.connect([this] {
      dialog_.open();
      log_.add("Dialog opened");
    });
    dialog_ok_.pressed.connect([this] { dialog_.close(); });
    dialog_.closed.connect([this] { log_.add("Dialog closed"); });
    menu_button_.pressed.connect([this] {
      menu_.open_at({menu_button_.origin.x, menu_button_.origin.y + 1});
    });
    menu_.chosen.connect(
        [this](int i) { log_.add("Menu: " + menu_.items[static_cast<std::size_t>(i)].label); });
  }

  // The progress bar fills at the pace the radio buttons set, and starts again when full.
  void advance_progress() {
    static constexpr std::array<double, 3> steps{0.005, 0.02, 0.06};
    double const next = progress_.value() + steps[static_cast<std::size_t>(pace_.selected())];
    progress_.set_value(next > 1.0 ? 0.0 : next);
  }

  void set_up_table() {
    table_.add_column("#", vn::Align::Left, TrueColor{255, 200, 60});
    table_.add_column("Name", vn::Align::Left, TrueColor{120, 210, 255});
    table_.add_column("Amount", vn::Align::Left, TrueColor{140, 230, 140});
    table_.add_column("Trend", vn::Align::Left, TrueColor{255, 130, 200});
    table_.header.children[0].size_policy = vn::SizePolicy::fixed(5);
    // Name takes what the others leave, so the columns always span the whole table.
    table_.header.children[1].size_policy = vn::SizePolicy::min(8);
    table_.header.children[2].size_policy = vn::SizePolicy{9, 12, 1.0F};
    table_.header.children[3].size_policy = vn::SizePolicy{8, 10, 1.0F};
    fill_table(table_);
  }

  void set_colours(bool on) {
    left_.brush = on ? Brush{TrueColor{20, 60, 90}, TrueColor{120, 210, 255}, {}} : Brush{};
    centre_.brush =
        on ? Brush{TrueColor{70, 60, 10}, TrueColor{255, 220, 90}, Trait::Bold} : Brush{};
    right_.brush = on ? Brush{TrueColor{80, 25, 60}, TrueColor{255, 130, 200}, {}} : Brush{};
    table_.line_color = on ? Color{TrueColor{100, 140, 200}} : Color{XColor::Default};
  }

  // Widgets, then the layouts that refer to them (members are built in this order).
  vn::Label left_ = plain_label("◂ left-aligned", vn::Align::Left);
  // Wide characters take two cells; "e" and a combining acute accent are composed into one.
  vn::Label centre_ = plain_label("centred · 日本語 · cafe\u0301", vn::Align::Center);
  vn::Label right_ = plain_label("right-aligned ▸", vn::Align::Right);
  Stack labels_{std::vector<vn::Widget*>{&left_, &centre_, &right_}};

  vn::Button count_{button_options("Count 0", {30, 60, 100}, {40, 120, 220})};
  vn::Button reset_{button_options("Reset", {30, 60, 100}, {40, 120, 220})};
  vn::Button quit_{button_options("Quit", {100, 30, 40}, {210, 50, 70})};
  vn::Label gap1_{vn::Label::Options{"", vn::Align::Left, Brush{}, vn::SizePolicy::fixed(2)}};
  vn::Label gap2_{vn::Label::Options{"", vn::Align::Left, Brush{}, vn::SizePolicy::fixed(2)}};
  Line buttons_{std::vector<vn::Widget*>{&count_, &gap1_, &reset_, &gap2_, &quit_}};

  vn::CheckBox animate_{check_options(true)};
  vn::CheckBox wrap_{check_options(true)};
  vn::CheckBox colour_{check_options(true)};
  vn::Label animate_label_ = plain_label("Animate");
  vn::Label wrap_label_ = plain_label("Wrap words in the text box");
  vn::Label colour_label_ = plain_label("Colours");
  Line animate_row_{std::vector<vn::Widget*>{&animate_, &animate_label_}};
  Line wrap_row_{std::vector<vn::Widget*>{&wrap_, &wrap_label_}};
  Line colour_row_{std::vector<vn::Widget*>{&colour_, &colour_label_}};
  Stack checks_{std::vector<vn::Widget*>{&animate_row_, &wrap_row_, &colour_row_}};

  vn::Label name_label_ =
      vn::Label{vn::Label::Options{"Name ", vn::Align::Left, Brush{}, vn::SizePolicy::fixed(5)}};
  Field name_{vn::LineEdit::Options{"", Brush{field, bright_text, {}},
                                    "letters only, Enter submits",
                                    Brush{field, dim_text, Trait::Italic},
                                    [](char c) {
                                      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                             c == ' ' || c == '-' || c == '\'';
                                    },
                                    vn::FocusPolicy::Strong, vn::SizePolicy::flex()}};
  Line name_row_{std::vector<vn::Widget*>{&name_label_, &name_}};

  Animation animation_;
  EventLog log_;

  vn::TextBox text_box_{vn::TextBox::Options{text_box_text, vn::TextBox::Wrap::Word,
                                             vn::Align::Left, Brush{}, vn::FocusPolicy::Strong,
                                             vn::SizePolicy::flex()}};
  vn::ScrollBar scroll_bar_{
      vn::ScrollBar::Options{0, 0, Brush{field, TrueColor{120, 180, 255}, {}}}};
  Line text_row_{std::vector<vn::Widget*>{&text_box_, &scroll_bar_}};

  vn::List list_{[] {
    vn::List::Options options;
    options.items = {"Amber",  "Basalt", "Cobalt", "Dune", "Ember",   "Frost",
                     "Garnet", "Harbor", "Indigo", "Jade", "Juniper", "Kelp"};
    options.selected_brush = Brush{highlight, XColor::Black, Trait::Bold};
    options.size_policy = vn::SizePolicy::min(8);
    return options;
  }()};
  vn::RadioGroup pace_{vn::RadioGroup::Options{
      {"Slow", "Steady", "Fast"}, 1, Brush{}, Brush{highlight, XColor::Black, Trait::Bold}}};
  vn::ProgressBar progress_{
      vn::ProgressBar::Options{0.0, "", true, Brush{field, TrueColor{90, 220, 120}, {}}}};
  vn::Button dialog_button_{[] {
    vn::Button::Options options = button_options("Dialog", {30, 60, 100}, {40, 120, 220});
    options.size_policy = vn::SizePolicy::fixed(1);
    return options;
  }()};
  AnchorButton menu_button_{[] {
    vn::Button::Options options = button_options("Menu", {30, 60, 100}, {40, 120, 220});
    options.size_policy = vn::SizePolicy::fixed(1);
    return options;
  }()};
  vn::Label more_gap1_{vn::Label::Options{"", vn::Align::Left, Brush{}, vn::SizePolicy::fixed(1)}};
  vn::Label more_gap2_{vn::Label::Options{"", vn::Align::Left, Brush{}, vn::SizePolicy::fixed(1)}};
  Stack pace_column_{std::vector<vn::Widget*>{&pace_}, vn::FocusPolicy::None,
                     vn::SizePolicy::fixed(10)};
  Stack controls_{std::vector<vn::Widget*>{&progress_, &dialog_button_, &menu_button_},
                  vn::FocusPolicy::None, vn::SizePolicy::bounded(12, 24)};
  Line more_{std::vector<vn::Widget*>{&list_, &more_gap1_, &pace_column_, &more_gap2_, &controls_}};
  PageTabs pages_;

  vn::Label dialog_text_ =
      plain_label("A dialog keeps the keys and clicks to itself until it closes.");
  vn::Button dialog_ok_{[] {
    vn::Button::Options options = button_options("OK", {30, 60, 100}, {40, 120, 220});
    options.size_policy = vn::SizePolicy::fixed(1);
    return options;
  }()};
  vn::Label dialog_hint_ = plain_label("Enter or Escape closes it.");
  Stack dialog_content_{std::vector<vn::Widget*>{&dialog_text_, &dialog_hint_, &dialog_ok_}};
  vn::Dialog dialog_{
      vn::Dialog::Options{" Dialog ", {66, 5}, std::nullopt, vn::Border::round(""), true},
      dialog_content_};
  vn::Menu menu_{vn::Menu::Options{{{"Count up", [this] { count_.pressed.emit(); }},
                                    {"Reset the count", [this] { reset_.pressed.emit(); }},
                                    {"Next page", [this] { next_page(); }}},
                                   Brush{highlight, XColor::Black, Trait::Bold},
                                   Brush{field, bright_text, {}}}};
  vn::TimerHandle progress_timer_ = vn::every(milliseconds{100}, [this] { advance_progress(); });

  vn::DataTable table_{vn::DataTable::Options{}};
  TableView table_view_{table_};

  OwningLine light_ =
      divider_sample("light", std::make_unique<vn::Divider>(vn::Divider::light("")));
  OwningLine bold_ = divider_sample("bold", std::make_unique<vn::Divider>(vn::Divider::bold("")));
  OwningLine twin_ = divider_sample("twin", std::make_unique<vn::Divider>(vn::Divider::twin("")));
  OwningLine dashed_ =
      divider_sample("dashed", std::make_unique<vn::Divider>(vn::Divider::dashed("")));
  OwningLine dotted_ =
      divider_sample("dotted", std::make_unique<vn::Divider>(vn::Divider::dotted("")));
  OwningLine ascii_ =
      divider_sample("ascii", std::make_unique<vn::Divider>(vn::Divider::ascii("")));
  OwningLine empty_ =
      divider_sample("empty", std::make_unique<vn::Divider>(vn::Divider::empty(vn::Divider::Options{
                                  {}, Brush{field, XColor::Default, {}}, plain_label("empty")})));
  OwningLine verticals_ = vertical_dividers();
  Line dividers_top_{std::vector<vn::Widget*>{&light_, &bold_, &twin_}};
  Line dividers_middle_{std::vector<vn::Widget*>{&dashed_, &dotted_, &ascii_}};
  Line dividers_bottom_{std::vector<vn::Widget*>{&empty_, &verticals_}};
  Stack dividers_{std::vector<vn::Widget*>{&dividers_top_, &dividers_middle_, &dividers_bottom_}};

  Padded labels_padded_ = padded(labels_);
  Padded buttons_padded_ = padded(buttons_);
  Padded checks_padded_ = padded(checks_);
  Padded name_padded_ = padded(name_row_);
  Padded animation_padded_ = padded(animation_);
  Padded log_padded_ = padded(log_);
  Panel labels_panel_{vn::Border::light("Labels"), "light", labels_padded_,
                      vn::SizePolicy::bounded(5, 8)};
  Panel buttons_panel_{vn::Border::round("Buttons"), "round", buttons_padded_,
                       vn::SizePolicy::bounded(3, 5)};
  Panel checks_panel_{vn::Border::bold("Check boxes"), "bold", checks_padded_,
                      vn::SizePolicy::fixed(5)};
  Panel name_panel_{vn::Border::dashed("Line edit"), "dashed", name_padded_,
                    vn::SizePolicy::fixed(3)};
  Panel animation_panel_{vn::Border::ascii("Timer"), "ascii", animation_padded_,
                         vn::SizePolicy::fixed(3)};
  Panel log_panel_{vn::Border::twin_vertical("Events"), "twin_vertical", log_padded_,
                   vn::SizePolicy::min(3)};
  Panel text_panel_{vn::Border::dotted("Text box"), "dotted", pages_,
                    vn::SizePolicy{6, std::numeric_limits<int>::max(), 1.0F}};
  Panel dividers_panel_{vn::Border::twin_horizontal("Dividers"), "twin_horizontal", dividers_,
                        vn::SizePolicy::fixed(5)};

  Stack left_column_{std::vector<vn::Widget*>{&labels_panel_, &buttons_panel_, &checks_panel_,
                                              &name_panel_, &animation_panel_, &log_panel_},
                     vn::FocusPolicy::None, vn::SizePolicy{34, 46, 1.0F}};
  Stack right_column_{std::vector<vn::Widget*>{&text_panel_, &table_view_, &dividers_panel_},
                      vn::FocusPolicy::None,
                      vn::SizePolicy{36, std::numeric_limits<int>::max(), 2.0F}};
  Line body_{std::vector<vn::Widget*>{&left_column_, &right_column_}};
  vn::Bordered<vn::Widget*> frame_{vn::Border::twin(vn::Border::Options{
                                       Brush{XColor::Default, panel_gray, {}}, plain_label("")}),
                                   &body_};

  int presses_ = 0;
  std::string greeting_;
  bool window_focused_ = true;
};

}  // namespace

int main(int argc, char** argv) {
  Gallery gallery;
  // --fit-terminal: frames in the compact encoding, colours as TERM, COLORTERM and NO_COLOR say
  // the terminal can show them.
  bool const fit = argc > 1 && std::string_view{argv[1]} == "--fit-terminal";
  dalk::Extensions const output = fit ? dalk::output_extensions() : dalk::Extensions{};
  // The application owns the terminal and restores it when it goes away, as main returns: 0
  // after Quit, 1 after Ctrl+C or a failure (no terminal, or its input ended). The recommended
  // extensions bring pastes in whole, window focus changes and flicker-free frames where the
  // terminal has them.
  try {
    vn::Application application{
        gallery, vn::Terminal{dalk::MouseMode::Move, dalk::KeyMode::Normal, dalk::Signals::On,
                              dalk::recommended_extensions | output}};
    // F2 turns the page wherever the focus is, while no dialog or menu is open.
    application.bind(dalk::Key::F2, [&gallery] {
      if (!gallery.overlay_open()) {
        gallery.next_page();
      }
    });
    return application.run();
  } catch (std::exception const& error) {
    std::fprintf(stderr, "Error: %s\n", error.what());
    return 1;
  }
}

// A log viewer: 50,000 generated log lines in a data table, narrowed by a filter as you type,
// with the selected line's whole message in a detail pane below, a help dialog and a menu.
//
// Keys: Tab and Shift+Tab move between the filter, the table and the detail pane; the arrows,
// PageUp, PageDown, Home and End move the selection in the table. F1 (or ? outside the filter)
// opens the help, F2 or Ctrl+O the menu, Ctrl+Q (or q outside the filter) quits with status 0,
// all of them while no dialog or menu is open; Ctrl+C quits with status 1 at any time. The
// terminal's signal keys are off, so that Ctrl+Q arrives as a key rather than as flow control.
// The rows are the same on every run: they come from a fixed seed.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Brush;
using dalk::Color;
using dalk::Key;
using dalk::Trait;
using dalk::TrueColor;
using dalk::XColor;

using Stack = vn::Column<std::vector<vn::Widget*>>;
using Line = vn::Row<std::vector<vn::Widget*>>;

constexpr TrueColor accent{255, 200, 60};
constexpr TrueColor frame_gray{90, 96, 110};
constexpr TrueColor dim_text{130, 136, 150};
constexpr TrueColor field{40, 44, 54};

constexpr std::size_t log_size = 50'000;

struct Entry {
  std::string number;
  std::string time;
  std::string level;
  std::string source;
  std::string message;
  // Everything above, lower-cased, for the filter.
  std::string haystack;
};

std::string lower(std::string_view text) {
  std::string result{text};
  std::transform(result.begin(), result.end(), result.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return result;
}

std::string two_digits(unsigned value) {
  return std::string(1, static_cast<char>('0' + value / 10 % 10)) +
         static_cast<char>('0' + value % 10);
}

std::string with_separators(std::size_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
    digits.insert(static_cast<std::size_t>(i), ",");
  }
  return digits;
}

// Deterministic log lines: a linear congruential generator from a fixed seed picks each line's
// level, source and message, and the clock moves on by a random step.
std::vector<Entry> generate_log() {
  static constexpr std::array<std::string_view, 8> sources{"auth", "billing", "cache", "db",
                                                           "http", "mailer",  "queue", "storage"};
  static constexpr std::array<std::string_view, 6> users{"ada",     "grace", "linus",
                                                         "barbara", "ken",   "margaret"};
  static constexpr std::array<std::string_view, 5> paths{"/api/orders", "/api/users", "/login",
                                                         "/static/app.js", "/health"};
  std::uint32_t seed = 20260314;
  auto next = [&seed](std::uint32_t bound) {
    seed = seed * 1664525U + 1013904223U;
    return (seed >> 8) % bound;
  };
  std::vector<Entry> log;
  log.reserve(log_size);
  std::uint64_t millis = 8ULL * 3600 * 1000;
  for (std::size_t i = 0; i < log_size; ++i) {
    millis += next(900) + 1;
    auto const total_seconds = static_cast<unsigned>(millis / 1000 % 86400);
    std::string const time =
        two_digits(total_seconds / 3600) + ":" + two_digits(total_seconds / 60 % 60) + ":" +
        two_digits(total_seconds % 60) + "." + std::to_string(millis % 1000 + 1000).substr(1);
    std::uint32_t const roll = next(100);
    std::string_view const level = roll < 30   ? "DEBUG"
                                   : roll < 85 ? "INFO"
                                   : roll < 95 ? "WARN"
                                               : "ERROR";
    std::string_view const user = users[next(users.size())];
    std::string_view const path = paths[next(paths.size())];
    std::string const amount = std::to_string(next(100000) + 100);
    std::string message;
    switch (next(6)) {
      case 0:
        message = "request " + std::string(path) + " answered in " + std::to_string(next(900) + 3) +
                  " ms";
        break;
      case 1:
        message = "session opened for " + std::string(user);
        break;
      case 2:
        message = "job " + std::to_string(next(9000) + 1000) + " finished after " +
                  std::to_string(next(60) + 1) + " retries";
        break;
      case 3:
        message = "invoice " + amount + " sent to " + std::string(user);
        break;
      case 4:
        message = "entry " + std::to_string(next(100000)) + " evicted to make room";
        break;
      default:
        message = "connection pool at " + std::to_string(next(100)) + "% of its capacity";
        break;
    }
    if (level == "ERROR") {
      message += ": the peer closed the connection while the reply to " + std::string(path) +
                 " was still being written, so the request for " + std::string(user) +
                 " will be retried from the start once the pool has a free connection again";
    } else if (level == "WARN") {
      message += " (slower than the configured limit)";
    }
    Entry entry{std::to_string(i + 1), time,
                std::string(level),    std::string(sources[next(sources.size())]),
                std::move(message),    {}};
    entry.haystack = lower(entry.number + " " + entry.time + " " + entry.level + " " +
                           entry.source + " " + entry.message);
    log.push_back(std::move(entry));
  }
  return log;
}

// A frame around one widget whose lines light up while the focus is inside it.
class Panel : public vn::Bordered<vn::Widget*> {
 public:
  Panel(std::string title, vn::Widget& inner, vn::SizePolicy policy)
      : Bordered{vn::Border::round(std::move(title)), &inner, vn::FocusPolicy::None, policy} {
    border.label.text = " " + border.label.text + " ";
  }

  void paint(vn::Canvas canvas) override {
    bool const lit = vn::Focus::get() == child;
    border.brush = Brush{XColor::Default, lit ? Color{accent} : Color{frame_gray},
                         lit ? dalk::Traits{Trait::Bold} : dalk::Traits{}};
    border.label.brush = border.brush;
    Bordered::paint(canvas);
  }
};

// A line edit on a shaded field, so that its extent shows while it is empty; `edited` runs
// after every key and paste it takes.
class Field : public vn::LineEdit {
 public:
  using LineEdit::LineEdit;

  void key_press(Key key) override {
    LineEdit::key_press(key);
    edited();
  }
  void paste(std::string_view text) override {
    LineEdit::paste(text);
    edited();
  }

  void paint(vn::Canvas canvas) override {
    vn::put(canvas, {0, 0}, vn::shape::Fill{dalk::Glyph{U' ', brush}, canvas.size});
    LineEdit::paint(canvas);
  }

  std::function<void()> edited = [] {};
};

// The detail pane: scrolls and moves its cursor, but the text is the log's, not the user's.
class ReadOnlyText : public vn::TextBox {
 public:
  using TextBox::TextBox;

  void key_press(Key key) override {
    switch (key) {
      case Key::ArrowUp:
      case Key::ArrowDown:
      case Key::ArrowLeft:
      case Key::ArrowRight:
      case Key::Home:
      case Key::End:
        TextBox::key_press(key);
        break;
      default:
        break;
    }
  }
};

vn::Label label(std::string text, vn::SizePolicy policy = vn::SizePolicy::flex(),
                Brush brush = Brush{}) {
  return vn::Label{vn::Label::Options{std::move(text), vn::Align::Left, brush, policy}};
}

std::string const help_text[] = {
    "Tab, Shift+Tab     filter, table, detail",
    "Up, Down, PgUp,    move the selection",
    "  PgDn, Home, End  (in the table)",
    "typing             narrows the rows (filter)",
    "F1, ?              this help",
    "F2, Ctrl+O         the menu",
    "Ctrl+Q, q          quit",
    "Escape             closes this help",
};

// The head widget: filter, table with its scroll bar, detail pane and a status line.
class LogView : public vn::Widget {
 public:
  LogView() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()}, log_{generate_log()} {
    table_.compact = true;
    table_.focus_policy = vn::FocusPolicy::Strong;
    table_.selected_brush = Brush{accent, XColor::Black, Trait::Bold};
    table_.line_color = frame_gray;
    for (char const* heading : {"#", "Time", "Level", "Source", "Message"}) {
      table_.add_column(heading, vn::Align::Left, accent);
    }
    table_.set_column_width(0, 6);
    table_.set_column_width(1, 13);
    table_.set_column_width(2, 6);
    table_.set_column_width(3, 8);
    vn::link(table_, scroll_bar_);
    table_.selection_changed.connect([this](std::uint64_t) { show_detail(); });
    help_close_.pressed.connect([this] { help_.close(); });
    apply_filter();
    vn::Focus::set(filter_);
    // The rows follow the filter after every key or paste it takes.
    filter_.edited = [this] { follow_filter(); };
  }

  bool overlay_open() const { return help_.is_open() || menu_.is_open(); }
  void open_help() { help_.open(); }
  void open_menu() {
    menu_.items[0].label = errors_only_ ? "All levels" : "Errors only";
    menu_.open_at({2, 2});
  }
  // Outside the filter `act`; in it the character is typed.
  void type_or(char32_t character, std::function<void()> const& act) {
    if (vn::Focus::get() == &filter_) {
      filter_.key_press(dalk::key(character));
    } else {
      act();
    }
  }

  void resize(vn::Area) override {
    vn::Area const previous = body_.size;
    body_.at = {0, 0};
    body_.size = size;
    body_.resize(previous);
  }

  using Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override { co_yield body_; }

 private:
  // Filters again when the filter's text has changed since the rows were last chosen.
  void follow_filter() {
    if (filter_.text != applied_) {
      apply_filter();
    }
  }

  void apply_filter() {
    applied_ = filter_.text;
    std::string const needle = lower(applied_);
    shown_.clear();
    table_.clear_rows();
    for (std::size_t i = 0; i < log_.size(); ++i) {
      Entry const& entry = log_[i];
      if ((errors_only_ && entry.level != "ERROR") ||
          entry.haystack.find(needle) == std::string::npos) {
        continue;
      }
      shown_.push_back(i);
      table_.add_row({entry.number, entry.time, entry.level, entry.source, entry.message});
    }
    table_.select(shown_.empty() ? std::nullopt : std::optional<std::uint64_t>{0});
    show_detail();
    status_.text =
        " rows " + with_separators(shown_.size()) + " of " + with_separators(log_.size());
    if (errors_only_) {
      status_.text += " · errors only";
    }
  }

  void show_detail() {
    std::optional<std::uint64_t> const row = table_.selection();
    if (!row || *row >= shown_.size()) {
      detail_panel_.border.label.text = " Detail ";
      detail_.text = "No line matches the filter.";
      return;
    }
    Entry const& entry = log_[shown_[*row]];
    detail_panel_.border.label.text = " Line " + entry.number + " ";
    detail_.text = entry.time + "  " + entry.level + "  " + entry.source + "\n" + entry.message;
    detail_.cursor_index = 0;
    detail_.set_scroll_offset(0);
  }

  void toggle_errors_only() {
    errors_only_ = !errors_only_;
    apply_filter();
  }

  void clear_filter() {
    filter_.text.clear();
    filter_.cursor_index = 0;
    filter_.scroll_offset = 0;
    apply_filter();
  }

  std::vector<Entry> log_;
  std::vector<std::size_t> shown_;
  std::string applied_;
  bool errors_only_ = false;

  vn::Label filter_label_ =
      label(" Filter ", vn::SizePolicy::fixed(8), Brush{XColor::Default, accent, Trait::Bold});
  Field filter_{vn::LineEdit::Options{"", Brush{field, XColor::Default, {}},
                                      "type to narrow the rows",
                                      Brush{field, dim_text, Trait::Italic}, std::nullopt,
                                      vn::FocusPolicy::Strong, vn::SizePolicy::flex()}};
  vn::Label status_ = label("", vn::SizePolicy::fixed(36), Brush{XColor::Default, dim_text, {}});
  Line filter_row_{std::vector<vn::Widget*>{&filter_label_, &filter_, &status_},
                   vn::FocusPolicy::None, vn::SizePolicy::fixed(1)};

  vn::DataTable table_{vn::DataTable::Options{}};
  vn::ScrollBar scroll_bar_{vn::ScrollBar::Options{0, 0, Brush{field, accent, {}}}};
  Line table_row_{std::vector<vn::Widget*>{&table_, &scroll_bar_}, vn::FocusPolicy::None,
                  vn::SizePolicy::min(5)};

  ReadOnlyText detail_{vn::TextBox::Options{"", vn::TextBox::Wrap::Word, vn::Align::Left, Brush{},
                                            vn::FocusPolicy::Strong, vn::SizePolicy::flex()}};
  Panel detail_panel_{"Detail", detail_, vn::SizePolicy::fixed(7)};

  vn::Label keys_ = label(" Tab: focus · F1/?: help · F2/Ctrl+O: menu · Ctrl+Q/q: quit",
                          vn::SizePolicy::fixed(1), Brush{XColor::Default, dim_text, {}});
  Stack body_{std::vector<vn::Widget*>{&filter_row_, &table_row_, &detail_panel_, &keys_}};

  std::vector<vn::Label> help_lines_ = [] {
    std::vector<vn::Label> lines;
    for (std::string const& line : help_text) {
      lines.push_back(label(line, vn::SizePolicy::fixed(1)));
    }
    return lines;
  }();
  vn::Label help_gap_ = label("", vn::SizePolicy::fixed(1));
  vn::Button help_close_{[] {
    vn::Button::Options options;
    options.label.text = "Close";
    options.focused_mod = [](vn::Label& l) {
      l.text = "▸" + l.text + "◂";
      l.brush.traits = l.brush.traits | Trait::Bold;
    };
    options.size_policy = vn::SizePolicy::fixed(1);
    return options;
  }()};
  Stack help_content_{[this] {
    std::vector<vn::Widget*> children;
    for (vn::Label& line : help_lines_) {
      children.push_back(&line);
    }
    children.push_back(&help_gap_);
    children.push_back(&help_close_);
    return children;
  }()};
  vn::Dialog help_{
      vn::Dialog::Options{" Keys ", {50, 12}, std::nullopt, vn::Border::round(""), true},
      help_content_};

  vn::Menu menu_{vn::Menu::Options{{{"Errors only", [this] { toggle_errors_only(); }},
                                    {"Clear filter", [this] { clear_filter(); }},
                                    {"Help", [this] { open_help(); }},
                                    {"Quit", [] { vn::quit(0); }}},
                                   Brush{accent, XColor::Black, Trait::Bold},
                                   Brush{field, XColor::Default, {}}}};
};

}  // namespace

int main() {
  LogView view;
  // On a failure (no terminal, or its input ended) the terminal is restored as the application
  // goes, and the program ends with status 1.
  try {
    vn::Application application{
        view, vn::Terminal{dalk::MouseMode::Basic, dalk::KeyMode::Normal, dalk::Signals::Off,
                           dalk::recommended_extensions}};
    // The application keys, taken before the focused widget. Ctrl+C quits at any time; the others
    // act while no dialog or menu is open. A plain terminal sends Ctrl+letter as the control
    // byte, one speaking the extended keyboard protocol as the letter with the Ctrl bit: both
    // are bound.
    auto const bind_ctrl = [&application](char32_t letter, std::function<void()> const& action) {
      application.bind(dalk::key(letter - U'a' + 1), action);
      application.bind(dalk::key(letter) | dalk::Mod::Ctrl, action);
    };
    auto const unless_overlay = [&view](std::function<void()> action) {
      return [&view, action = std::move(action)] {
        if (!view.overlay_open()) {
          action();
        }
      };
    };
    bind_ctrl(U'c', [] { vn::quit(1); });
    bind_ctrl(U'q', unless_overlay([] { vn::quit(0); }));
    bind_ctrl(U'o', unless_overlay([&view] { view.open_menu(); }));
    application.bind(Key::F1, unless_overlay([&view] { view.open_help(); }));
    application.bind(Key::F2, unless_overlay([&view] { view.open_menu(); }));
    application.bind(dalk::key(U'q'),
                     unless_overlay([&view] { view.type_or(U'q', [] { vn::quit(0); }); }));
    application.bind(dalk::key(U'?'), unless_overlay([&view] {
                       view.type_or(U'?', [&view] { view.open_help(); });
                     }));
    return application.run();
  } catch (std::exception const& error) {
    std::fprintf(stderr, "Error: %s\n", error.what());
    return 1;
  }
}

// The paint keys of the ready-made widgets: for each widget type, a small tree of the widget
// among overlapping labels goes through random changes of the widget's public state, keys,
// clicks, pastes and focus, and every frame a dispatcher that keeps cells paints is compared
// cell by cell (and by its cursor) with a fresh paint into a blank grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "vn/bordered.hpp"
#include "vn/button.hpp"
#include "vn/checkbox.hpp"
#include "vn/dialog.hpp"
#include "vn/dispatch.hpp"
#include "vn/focus.hpp"
#include "vn/label.hpp"
#include "vn/layout.hpp"
#include "vn/lineedit.hpp"
#include "vn/list.hpp"
#include "vn/menu.hpp"
#include "vn/overlay.hpp"
#include "vn/progressbar.hpp"
#include "vn/put.hpp"
#include "vn/radio.hpp"
#include "vn/scrollbar.hpp"
#include "vn/tabs.hpp"

#include "support/fresh_frame.hpp"

namespace {

using dalk::Area;
using dalk::Point;

char const* const texts[] = {"",
                             "a",
                             "hello",
                             "日本語",
                             "e\u0301t\u00e9",
                             "👍🏽 ok",
                             "x y z",
                             "long enough to be cut",
                             "wide 全角"};

dalk::Key const keys[] = {
    dalk::Key::Enter,     dalk::Key::Escape,    dalk::Key::Tab,       dalk::Key::BackTab,
    dalk::Key::ArrowUp,   dalk::Key::ArrowDown, dalk::Key::ArrowLeft, dalk::Key::ArrowRight,
    dalk::Key::PageUp,    dalk::Key::PageDown,  dalk::Key::Home,      dalk::Key::End,
    dalk::Key::Backspace, dalk::Key::Delete,    dalk::Key::Space,     dalk::Key{U'a'},
    dalk::Key{U'\u00e9'}, dalk::Key{U'\u5168'}, dalk::Key{U'\u0301'}};

struct Random {
  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>{0, n - 1}(engine);
  }
  int between(int low, int high) { return std::uniform_int_distribution<int>{low, high}(engine); }
  bool coin() { return pick(2) == 0; }
  // Runs one of the actions, picked at random.
  template <typename... Actions>
  void one_of(Actions const&... actions) {
    std::size_t const chosen = pick(sizeof...(Actions));
    std::size_t index = 0;
    ((index++ == chosen ? actions() : void()), ...);
  }
  std::string text() { return texts[pick(std::size(texts))]; }
  std::vector<std::string> strings(int most) {
    std::vector<std::string> result(static_cast<std::size_t>(between(0, most)));
    for (std::string& s : result) {
      s = text();
    }
    return result;
  }
  dalk::Brush brush() {
    dalk::Trait const traits[] = {dalk::Trait::Bold, dalk::Trait::Inverse, dalk::Trait::Underline};
    dalk::Brush brush{dalk::XColor{static_cast<std::uint16_t>(pick(4))},
                      dalk::XColor{static_cast<std::uint16_t>(pick(4))}};
    if (coin()) {
      brush.traits = traits[pick(std::size(traits))];
    }
    return brush;
  }

  std::mt19937 engine{20261211};
};

// Holds its children where the test puts them, in paint order; paints nothing.
class Board : public vn::Widget {
 public:
  Board() : vn::Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()} {}
  using vn::Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override {
    for (auto& child : children) {
      co_yield *child;
    }
  }
  bool paint_key(vn::PaintKey& /*key*/) const override { return true; }
  std::vector<std::unique_ptr<vn::Widget>> children;
};

// What a case builds: the widget, and what it refers to without owning (pages, contents).
struct Scene {
  template <typename W>
  W& hold(std::unique_ptr<W> made_widget) {
    widget = made_widget.get();
    made = std::move(made_widget);
    return *static_cast<W*>(widget);
  }

  // Until the board takes it over; an overlay stays here.
  std::unique_ptr<vn::Widget> made;
  vn::Widget* widget = nullptr;
  std::vector<std::unique_ptr<vn::Widget>> owned;
  // What a list's model shows.
  std::vector<std::string> rows;
};

// One widget type: how to make it and the changes of its own state the test makes at random.
struct Case {
  char const* name;
  std::function<void(Scene&, Random&)> make;
  std::function<void(Scene&, Random&)> change;
};

template <typename W>
W& subject(Scene& scene) {
  return static_cast<W&>(*scene.widget);
}

vn::Border random_border(Random& random) {
  vn::Border (*const styles[])(std::string) = {vn::Border::light, vn::Border::round,
                                               vn::Border::twin, vn::Border::ascii,
                                               vn::Border::dotted};
  vn::Border border = styles[random.pick(std::size(styles))](random.text());
  border.brush = random.brush();
  border.label.brush = random.brush();
  return border;
}

std::vector<dalk::Glyph> random_glyphs(Random& random) {
  std::vector<dalk::Glyph> glyphs(static_cast<std::size_t>(random.between(0, 5)));
  for (dalk::Glyph& glyph : glyphs) {
    glyph = {random.coin() ? U'x' : U'·', random.brush()};
  }
  return glyphs;
}

std::unique_ptr<vn::Label> random_label(Random& random) {
  return std::make_unique<vn::Label>(
      vn::Label::Options{random.text(), vn::Align::Left, random.brush()});
}

using LinkedList = vn::Row<std::tuple<vn::List, vn::ScrollBar>>;

Case const cases[] = {
    {"Bordered",
     [](Scene& s, Random& r) {
       s.hold(std::make_unique<vn::Bordered<std::unique_ptr<vn::Widget>>>(random_border(r),
                                                                          random_label(r)));
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::Bordered<std::unique_ptr<vn::Widget>>>(s);
       r.one_of([&] { w.border = random_border(r); },
                [&] { w.border.frame = random_border(r).frame; },
                [&] { w.border.label.text = r.text(); }, [&] { w.border.label.brush = r.brush(); },
                [&] { w.border.brush = r.brush(); });
     }},
    {"Divider",
     [](Scene& s, Random& r) {
       s.hold(std::make_unique<vn::Divider>(vn::Divider::light(r.text())));
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::Divider>(s);
       char32_t const symbols[] = {U'│', U'─', U'║', U'-'};
       r.one_of([&] { w.lines.vertical = symbols[r.pick(std::size(symbols))]; },
                [&] { w.lines.horizontal = symbols[r.pick(std::size(symbols))]; },
                [&] { w.brush = r.brush(); });
     }},
    {"Button",
     [](Scene& s, Random& r) {
       vn::Button::Options options;
       options.label = {r.text(), vn::Align::Left, r.brush()};
       s.hold(std::make_unique<vn::Button>(std::move(options)));
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::Button>(s);
       r.one_of([&] { w.label.text = r.text(); },
                [&] { w.label.align = static_cast<vn::Align>(r.pick(3)); },
                [&] { w.label.brush = r.brush(); },
                [&] {
                  // A look of the application's: painted every frame while it is there.
                  w.focused_mod = r.coin() ? vn::Button::init.focused_mod : [](vn::Label& l) {
                    l.brush.traits = dalk::Trait::Bold;
                  };
                },
                [&] {
                  w.pressed_mod = r.coin() ? std::function<void(vn::Label&)>{}
                                           : [](vn::Label& l) { l.text = "down"; };
                },
                [&] {
                  w.decoration =
                      r.coin() ? std::get<0>(vn::Button::init.decoration) : [](vn::Canvas c) {
                        vn::put(c, {0, 0}, "*");
                      };
                });
     }},
    {"CheckBox",
     [](Scene& s, Random&) { s.hold(std::make_unique<vn::CheckBox>(vn::CheckBox::init)); },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::CheckBox>(s);
       r.one_of([&] { w.toggle(); }, [&] { w.checked_glyphs = random_glyphs(r); },
                [&] { w.unchecked_glyphs = random_glyphs(r); },
                [&] { w.in_focus_brush = r.brush(); });
     }},
    {"RadioGroup",
     [](Scene& s, Random& r) {
       s.hold(std::make_unique<vn::RadioGroup>(vn::RadioGroup::Options{r.strings(6)}));
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::RadioGroup>(s);
       r.one_of([&] { w.select(r.pick(7)); }, [&] { w.set_choices(r.strings(6)); },
                [&] { w.brush = r.brush(); }, [&] { w.focused_brush = r.brush(); });
     }},
    {"ProgressBar",
     [](Scene& s, Random& r) {
       s.hold(std::make_unique<vn::ProgressBar>(vn::ProgressBar::Options{0.5, r.text()}));
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::ProgressBar>(s);
       r.one_of([&] { w.set_value(r.between(-10, 110) / 100.0); }, [&] { w.label = r.text(); },
                [&] { w.show_percent = !w.show_percent; }, [&] { w.bar_brush = r.brush(); });
     }},
    {"ScrollBar",
     [](Scene& s, Random&) { s.hold(std::make_unique<vn::ScrollBar>(vn::ScrollBar::init)); },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::ScrollBar>(s);
       r.one_of([&] { w.scrollable_length = r.between(-1, 30); },
                [&] { w.position = r.between(-2, 32); }, [&] { w.brush = r.brush(); });
     }},
    // The list's paint sets the bar before the bar is painted.
    {"LinkedScrollBar",
     [](Scene& s, Random& r) {
       auto row = std::make_unique<LinkedList>(std::tuple<vn::List, vn::ScrollBar>{
           vn::List{vn::List::Options{r.strings(20)}}, vn::ScrollBar{vn::ScrollBar::init}});
       vn::link(std::get<0>(row->children), std::get<1>(row->children));
       s.hold(std::move(row));
     },
     [](Scene& s, Random& r) {
       auto& list = std::get<0>(subject<LinkedList>(s).children);
       r.one_of([&] { list.items = r.strings(20); }, [&] { list.scroll_to(r.between(0, 20)); },
                [&] { list.select(r.pick(21)); });
     }},
    {"Tabs",
     [](Scene& s, Random& r) {
       s.hold(std::make_unique<vn::Tabs>(vn::Tabs::init));
       for (int i = 0; i < 3; ++i) {
         s.owned.push_back(random_label(r));
         subject<vn::Tabs>(s).add(r.text(), *s.owned.back());
       }
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::Tabs>(s);
       r.one_of(
           [&] { w.select(r.pick(5)); },
           [&] {
             if (s.owned.size() < 5) {
               s.owned.push_back(random_label(r));
               w.add(r.text(), *s.owned.back());
             }
           },
           [&] {
             // The tabs drop a destroyed page when they next look.
             if (!s.owned.empty()) {
               s.owned.erase(s.owned.begin() + static_cast<std::ptrdiff_t>(r.pick(s.owned.size())));
             }
           },
           [&] { w.selected_brush = r.brush(); }, [&] { w.focused_brush = r.brush(); });
     }},
    {"List",
     [](Scene& s, Random& r) {
       s.hold(std::make_unique<vn::List>(vn::List::Options{r.strings(20)}));
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::List>(s);
       r.one_of([&] { w.items = r.strings(20); },
                [&] {
                  if (!w.items.empty()) {
                    w.items[r.pick(w.items.size())] = r.text();
                  }
                },
                [&] { w.selected = r.pick(24); }, [&] { w.top = r.pick(24); },
                [&] { w.selected_brush = r.brush(); },
                [&] {
                  if (w.model.count) {
                    w.model = {};
                  } else {
                    w.model = {[&s] { return s.rows.size(); },
                               [&s](std::size_t i) { return s.rows[i]; }};
                  }
                },
                [&] { s.rows = r.strings(20); }, [&] { w.unfocused_selected_brush = r.brush(); });
     }},
    {"LineEdit",
     [](Scene& s, Random& r) {
       s.hold(std::make_unique<vn::LineEdit>(vn::LineEdit::Options{r.text()}));
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::LineEdit>(s);
       r.one_of([&] { w.text = r.text(); }, [&] { w.placeholder = r.text(); },
                [&] { w.cursor_index = r.pick(30); }, [&] { w.scroll_offset = r.pick(30); },
                [&] { w.brush = r.brush(); }, [&] { w.placeholder_brush = r.brush(); });
     }},
    {"Menu",
     [](Scene& s, Random& r) {
       vn::Menu::Options options;
       for (std::string& label : r.strings(6)) {
         options.items.push_back({std::move(label), {}});
       }
       s.hold(std::make_unique<vn::Menu>(std::move(options)));
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::Menu>(s);
       r.one_of(
           [&] {
             w.open_at({r.between(-2, 28), r.between(-1, 11)});
           },
           [&] {
             w.items.clear();
             for (std::string& label : r.strings(6)) {
               w.items.push_back({std::move(label), {}});
             }
           },
           [&] { w.select(r.pick(7)); }, [&] { w.brush = r.brush(); },
           [&] { w.highlight_brush = r.brush(); });
     }},
    {"Dialog",
     [](Scene& s, Random& r) {
       s.owned.push_back(std::make_unique<vn::LineEdit>(vn::LineEdit::Options{r.text()}));
       s.hold(
           std::make_unique<vn::Dialog>(vn::Dialog::Options{r.text(), {14, 5}}, *s.owned.back()));
     },
     [](Scene& s, Random& r) {
       auto& w = subject<vn::Dialog>(s);
       r.one_of([&] { w.title = r.text(); }, [&] { w.border = random_border(r); },
                [&] {
                  w.wanted_size = {r.between(1, 20), r.between(1, 8)};
                },
                [&] {
                  w.position = Point{r.between(-2, 28), r.between(-1, 11)};
                });
     }},
};

class PaintKeysTest : public ::testing::TestWithParam<Case> {
 protected:
  void TearDown() override {
    if (overlay() != nullptr) {
      overlay()->close();
    }
    vn::Focus::in_focus_ = {};
  }

  vn::Overlay* overlay() { return dynamic_cast<vn::Overlay*>(scene.widget); }

  void place_randomly(vn::Widget& w) {
    w.at = {random.between(-3, area.width), random.between(-2, area.height)};
    // One cell wide or high often: some widgets paint such a size their own way.
    w.size = {random.pick(4) == 0 ? 1 : random.between(0, 16),
              random.pick(4) == 0 ? 1 : random.between(0, 7)};
    vn::detail::dispatch_resize(w, w.size);
  }

  // Labels below and above the widget, all placed at random.
  void build() {
    GetParam().make(scene, random);
    for (int i = 0; i < 5; ++i) {
      board.children.push_back(random_label(random));
    }
    if (overlay() == nullptr) {
      board.children.insert(board.children.begin() + 2, std::move(scene.made));
    }
    for (auto& child : board.children) {
      place_randomly(*child);
    }
    board.size = area;
  }

  std::vector<vn::Widget*> every_widget() {
    std::vector<vn::Widget*> all;
    vn::for_each_depth_first(board, [&](vn::Widget& w) { all.push_back(&w); });
    if (vn::Overlay* open = overlay(); open != nullptr && open->is_open()) {
      vn::for_each_depth_first(*open, [&](vn::Widget& w) { all.push_back(&w); });
    }
    return all;
  }

  dalk::Mouse random_mouse() {
    dalk::Mouse::Button const buttons[] = {dalk::Mouse::Button::Left, dalk::Mouse::Button::Right,
                                           dalk::Mouse::Button::ScrollUp,
                                           dalk::Mouse::Button::ScrollDown};
    dalk::Mouse mouse;
    mouse.at = {random.between(0, area.width - 1), random.between(0, area.height - 1)};
    mouse.button = buttons[random.pick(std::size(buttons))];
    return mouse;
  }

  void change(vn::TreeDispatcher& dispatcher) {
    switch (random.pick(15)) {
      case 0:
      case 1:
      case 2:
      case 3:
        GetParam().change(scene, random);
        break;
      case 4:
      case 5:
        dispatcher.handle_key_press(keys[random.pick(std::size(keys))]);
        break;
      case 6: {
        dalk::Mouse const mouse = random_mouse();
        if (mouse.button == dalk::Mouse::Button::ScrollUp ||
            mouse.button == dalk::Mouse::Button::ScrollDown) {
          dispatcher.handle_mouse_wheel(mouse);
        } else {
          dispatcher.handle_mouse_press(mouse);
        }
        break;
      }
      case 7: {
        dalk::Mouse const mouse = random_mouse();
        if (random.coin()) {
          dispatcher.handle_mouse_release(mouse);
        } else {
          dispatcher.handle_mouse_move(mouse);
        }
        break;
      }
      case 8:
        dispatcher.handle_paste(random.coin() ? random.text() : "two\nlines");
        break;
      case 9: {
        std::vector<vn::Widget*> const all = every_widget();
        if (random.pick(4) == 0) {
          vn::Focus::clear();
        } else {
          vn::Focus::set(random.coin() ? *scene.widget : *all[random.pick(all.size())]);
        }
        break;
      }
      case 10: {
        vn::Widget& w = random.coin() && overlay() == nullptr
                            ? *scene.widget
                            : *board.children[random.pick(board.children.size())];
        if (random.coin()) {
          place_randomly(w);
        } else {
          w.active = !w.active;
        }
        break;
      }
      case 11:
        if (auto* label = dynamic_cast<vn::Label*>(
                board.children[random.coin() ? 0 : board.children.size() - 1].get())) {
          label->text = random.text();
          label->brush = random.brush();
        }
        break;
      case 12:
        if (vn::Overlay* open = overlay()) {
          if (open->is_open()) {
            open->close();
          } else {
            open->open();
          }
        } else {
          std::swap(board.children[random.pick(board.children.size())],
                    board.children[random.pick(board.children.size())]);
        }
        break;
      case 13:
        // Public, and may disagree with where focus is or what the paint would set.
        if (random.pick(3) == 0) {
          scene.widget->cursor = Point{random.between(0, 3), 0};
        } else if (random.coin()) {
          scene.widget->focus_in();
        } else {
          scene.widget->focus_out();
        }
        break;
      default:
        break;
    }
  }

  Area const area{30, 12};
  Random random;
  Board board;
  Scene scene;
};

TEST_P(PaintKeysTest, EveryFrameIsThatOfAFreshPaint) {
  vn::TreeDispatcher dispatcher{board};
  dispatcher.reuse_cells = true;
  build();
  vn::ScreenBuffer grid{area};
  int reused = 0;
  for (int frame = 0; frame < 5000; ++frame) {
    for (int changes = random.between(0, 2); changes > 0; --changes) {
      change(dispatcher);
    }
    std::optional<Point> const cursor = dispatcher.handle_paint(vn::Canvas{grid, {0, 0}, area});
    auto const fresh = vennic::test::fresh_frame(board, area);
    ASSERT_TRUE(grid.glyphs == fresh.grid.glyphs)
        << "frame " << frame << ", " << vennic::test::first_difference(grid, fresh.grid);
    ASSERT_EQ(cursor, fresh.cursor) << "frame " << frame;
    reused += std::count(grid.painted_rows.begin(), grid.painted_rows.end(), 1) < area.height;
    std::fill(grid.painted_rows.begin(), grid.painted_rows.end(), std::uint8_t{0});
  }
  // Cells were kept in many frames.
  EXPECT_GT(reused, 1000);
}

INSTANTIATE_TEST_SUITE_P(Widgets, PaintKeysTest, ::testing::ValuesIn(cases),
                         [](::testing::TestParamInfo<Case> const& info) {
                           return std::string{info.param.name};
                         });

}  // namespace

// Tabs: a bar of titles on the top row and, below it, the one page that is selected. The other
// pages stay in the tree but inactive, so they are neither painted, reached by the mouse nor
// focused by Tab. A click on a title selects its page; while the bar has focus, Left and Right
// select the neighbouring page and Home and End the first and the last.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/selectable.hpp"
#include "vn/widget.hpp"

namespace vn {

/// The selected page is the tabs' selection. Event-loop thread only.
class Tabs : public Widget, public Selectable {
 public:
  struct Options {
    /// The bar's cells.
    dalk::Brush bar_brush{};
    /// The selected title.
    dalk::Brush selected_brush{dalk::XColor::Default, dalk::XColor::Default, dalk::Trait::Inverse};
    /// The selected title while the bar has focus.
    dalk::Brush focused_brush{dalk::XColor::Default, dalk::XColor::Default,
                              dalk::Trait::Inverse | dalk::Trait::Bold};
    FocusPolicy focus_policy = FocusPolicy::Strong;
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  explicit Tabs(Options options);

  /// Appends a page under `title`; the tabs refer to it without owning it, and a destroyed
  /// page drops out. The first page added is selected; later ones start inactive.
  void add(std::string title, Widget& page);
  /// Shows page `index` and makes every other one inactive; focus inside the page left behind
  /// moves to the bar. Emits `changed` (not `selection_changed`) when the selection changes;
  /// out-of-range indices, negative ones passed as an int included, are ignored.
  void select(std::size_t index) override;
  /// The selected page; empty while there are no pages. Destroyed pages do not count.
  std::optional<std::size_t> selection() const override;
  /// The selected page's index, -1 while there are no pages.
  int selected() const;
  int count() const;

  /// Left and Right select the neighbouring page, Home and End the first and the last.
  void key_press(dalk::Key key) override;
  /// A left press on a title selects its page.
  void mouse_press(dalk::Mouse mouse) override;
  /// The selected title takes `focused_brush` while the bar has focus.
  void focus_in() override;
  void focus_out() override;
  /// The pages take every row below the bar.
  void resize(Area previous) override;
  /// The bar: each title padded by a space on both sides, titles separated by │.
  void paint(Canvas canvas) override;
  /// The brushes, whether in focus, the selection and the titles of the pages still there.
  bool paint_key(PaintKey& key) const override;
  /// Every page still there, the inactive ones included (Tab skips them, as it skips every
  /// inactive widget).
  lum::Generator<Widget&> get_children() override;
  lum::Generator<Widget const&> get_children() const override;

  dalk::Brush bar_brush;
  dalk::Brush selected_brush;
  dalk::Brush focused_brush;
  /// The newly selected index, after every change by the user or by select().
  nerv::Signal<void(int)> changed;

 private:
  struct Page {
    std::string title;
    LifetimeView<Widget> widget;
  };

  void drop_destroyed();
  void lay_out(Widget& page);

  std::vector<Page> pages_;
  int selected_ = -1;
  bool in_focus_ = false;
};

// Defined here, inline, so that statics elsewhere may copy it at load.
inline Tabs::Options const Tabs::init{};

}  // namespace vn

// A modal dialog: a bordered panel with a title, painted above the tree around one content
// widget. While open it takes every key and click, keeps Tab and Shift+Tab among its own
// widgets and closes on Escape; closing gives focus back to where it was.
#pragma once

#include <optional>
#include <string>

#include "nerv/signal.hpp"
#include "vn/bordered.hpp"
#include "vn/overlay.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Event-loop thread only.
class Dialog : public Overlay {
 public:
  struct Options {
    /// Shown in the top wall.
    std::string title{};
    /// Border included; cut to the screen.
    Area size{40, 10};
    /// Top-left cell on the screen; centred when empty. Kept on the screen.
    std::optional<Point> at{};
    /// Frame style; its label text is replaced by `title`.
    Border border = Border::light("");
    bool close_on_escape = true;
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  /// The content sits one cell inside the border; the dialog refers to it without owning it,
  /// and shows nothing inside the border once it is destroyed. Not open.
  Dialog(Options options, Widget& content);

  Area preferred_size(Area screen) const override;
  Point preferred_position(Area screen, Area size) const override;
  bool intercept_key(dalk::Key key) override;
  /// Emits `closed`.
  void closing() override;
  /// Places the content one cell inside the border.
  void resize(Area previous) override;
  /// The border with the title in its top wall; the content paints itself.
  void paint(Canvas canvas) override;
  /// The border with the title (detail::add_border_key).
  bool paint_key(PaintKey& key) const override;
  /// The content, until it is destroyed.
  lum::Generator<Widget&> get_children() override;
  lum::Generator<Widget const&> get_children() const override;

  std::string title;
  Area wanted_size;
  std::optional<Point> position;
  Border border;
  bool close_on_escape;
  /// Emitted after the dialog has closed and focus has gone back.
  nerv::Signal<void()> closed;

 private:
  LifetimeView<Widget> content_;
};

// Defined here, inline, after Label::init that its border's label copies, so that it is built
// after it at load.
inline Dialog::Options const Dialog::init{};

}  // namespace vn

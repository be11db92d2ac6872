// What the widgets that choose one item among several have in common (list, data table, menu,
// tabs, radio group): the selected index, a way to set it, and word when the user moves it.
#pragma once

#include <cstddef>
#include <optional>

#include "dalk/io.hpp"
#include "nerv/signal.hpp"

namespace vn {

/// Implemented beside vn::Widget by the widgets that select one item among several; indices
/// count from 0. select() never emits `selection_changed`, which reports what the user did
/// (keys, mouse) and nothing else, so a slot may call select() without looping. Event-loop
/// thread only.
class Selectable {
 public:
  virtual ~Selectable() = default;

  /// The selected item; empty when there is none.
  virtual std::optional<std::size_t> selection() const = 0;
  /// Selects item `index`. Each widget says whether an index out of range is clamped or
  /// ignored. Emits no `selection_changed`.
  virtual void select(std::size_t index) = 0;

  /// A user action changed the selection; the new index.
  nerv::Signal<void(std::size_t)> selection_changed;

 protected:
  /// The rows that navigation keys move a selection among: `count` of them, `page` shown
  /// from `first_shown`. With `wrap`, Up on the first row goes to the last and Down on the
  /// last to the first.
  struct Rows {
    std::size_t count = 0;
    std::size_t page = 0;
    std::size_t first_shown = 0;
    bool wrap = false;
  };

  Selectable() = default;
  Selectable(Selectable const&) = delete;
  Selectable(Selectable&&) noexcept = default;
  Selectable& operator=(Selectable const&) = delete;
  Selectable& operator=(Selectable&&) noexcept = default;

  /// select(index) on the user's behalf: emits `selection_changed` when the selection moved.
  void select_by_user(std::size_t index);
  /// Up, Down, PageUp, PageDown, Home and End (also the console's navigation block) move the
  /// selection among `rows` through select_by_user; with no selection, Home and End go to the
  /// first and last rows and the other keys select the first row shown. False for any other
  /// key, and when there are no rows.
  bool navigate_by_user(dalk::Key key, Rows rows);
};

}  // namespace vn

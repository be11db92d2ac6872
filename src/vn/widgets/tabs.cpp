#include "vn/tabs.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "vn/draw/text_cells.hpp"
#include "vn/focus.hpp"
#include "vn/put.hpp"

namespace vn {

Tabs::Tabs(Options options)
    : Widget{options.focus_policy, SizePolicy::flex()},
      bar_brush{options.bar_brush},
      selected_brush{options.selected_brush},
      focused_brush{options.focused_brush} {}

void Tabs::drop_destroyed() {
  std::erase_if(pages_, [](Page const& page) { return !page.widget.valid(); });
  selected_ = std::min(selected_, count() - 1);
  if (selected_ < 0 && count() > 0) {
    selected_ = 0;
  }
}

void Tabs::lay_out(Widget& page) {
  Area const previous = page.size;
  page.at = {0, 1};
  page.size = {std::max(size.width, 0), std::max(size.height - 1, 0)};
  page.resize(previous);
}

void Tabs::add(std::string title, Widget& page) {
  drop_destroyed();
  pages_.push_back({std::move(title), LifetimeView<Widget>{page}});
  page.active = pages_.size() == 1;
  if (pages_.size() == 1) {
    selected_ = 0;
  }
  lay_out(page);
}

void Tabs::select(std::size_t page) {
  drop_destroyed();
  if (page >= pages_.size() || static_cast<int>(page) == selected_) {
    return;
  }
  auto const index = static_cast<int>(page);
  Widget& old_page = pages_[static_cast<std::size_t>(selected_)].widget.get();
  Widget* const focused = Focus::get();
  bool const focus_in_old =
      focused != nullptr &&
      find_if_depth_first(old_page, [focused](Widget const& w) { return &w == focused; });
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    pages_[i].widget.get().active = static_cast<int>(i) == index;
  }
  selected_ = index;
  if (focus_in_old) {
    Focus::set(*this);
  }
  changed.emit(index);
}

std::optional<std::size_t> Tabs::selection() const {
  // Where dropping the destroyed pages will leave the selection.
  auto const live = static_cast<int>(std::count_if(
      pages_.begin(), pages_.end(), [](Page const& page) { return page.widget.valid(); }));
  if (live == 0) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(std::clamp(selected_, 0, live - 1));
}

int Tabs::selected() const {
  std::optional<std::size_t> const page = selection();
  return page ? static_cast<int>(*page) : -1;
}

int Tabs::count() const {
  return static_cast<int>(pages_.size());
}

void Tabs::key_press(dalk::Key key) {
  drop_destroyed();
  if (pages_.empty()) {
    return;
  }
  auto const current = static_cast<std::size_t>(selected_);
  if (key == dalk::Key::ArrowLeft && current > 0) {
    select_by_user(current - 1);
  } else if (key == dalk::Key::ArrowRight) {
    select_by_user(current + 1);
  } else if (key == dalk::Key::Home) {
    select_by_user(0);
  } else if (key == dalk::Key::End) {
    select_by_user(pages_.size() - 1);
  }
}

void Tabs::mouse_press(dalk::Mouse mouse) {
  if (mouse.button != dalk::Mouse::Button::Left || mouse.at.y != 0) {
    return;
  }
  drop_destroyed();
  int x = 0;
  for (int i = 0; i < count(); ++i) {
    int const width = detail::text_cells(pages_[static_cast<std::size_t>(i)].title) + 2;
    if (mouse.at.x >= x && mouse.at.x < x + width) {
      select_by_user(static_cast<std::size_t>(i));
      return;
    }
    x += width + 1;
  }
}

void Tabs::focus_in() {
  in_focus_ = true;
}

void Tabs::focus_out() {
  in_focus_ = false;
}

void Tabs::resize(Area) {
  drop_destroyed();
  for (Page const& page : pages_) {
    lay_out(page.widget.get());
  }
}

void Tabs::paint(Canvas canvas) {
  drop_destroyed();
  Canvas bar{canvas.buffer, canvas.at, {canvas.size.width, std::min(canvas.size.height, 1)}};
  fill_brush(bar, bar_brush);
  int x = 0;
  for (int i = 0; i < count() && x < bar.size.width; ++i) {
    std::string const& title = pages_[static_cast<std::size_t>(i)].title;
    int const width = detail::text_cells(title) + 2;
    if (x > 0) {
      put(bar, {x - 1, 0}, shape::VLine{1}, bar_brush);
    }
    Canvas cell{bar.buffer, {bar.at.x + x, bar.at.y}, {std::min(width, bar.size.width - x), 1}};
    put(cell, {1, 0}, title);
    dalk::Brush const& brush =
        i == selected_ ? (in_focus_ ? focused_brush : selected_brush) : bar_brush;
    fill_brush(cell, brush);
    x += width + 1;
  }
}

bool Tabs::paint_key(PaintKey& key) const {
  // As the paint finds them once it has dropped the destroyed pages.
  key.add(bar_brush).add(selected_brush).add(focused_brush).add(in_focus_).add(selected());
  for (Page const& page : pages_) {
    if (page.widget.valid()) {
      key.add(std::string_view{page.title});
    }
  }
  return true;
}

lum::Generator<Widget&> Tabs::get_children() {
  for (Page const& page : pages_) {
    if (page.widget.valid()) {
      co_yield page.widget.get();
    }
  }
}

lum::Generator<Widget const&> Tabs::get_children() const {
  for (Page const& page : pages_) {
    if (page.widget.valid()) {
      co_yield page.widget.get();
    }
  }
}

}  // namespace vn

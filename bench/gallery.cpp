#include "gallery.hpp"

#include <functional>

namespace bench {
namespace {

using dalk::Brush;
using dalk::XColor;

void place(vn::Widget& widget, vn::Point at, vn::Area size) {
  vn::Area const previous = widget.size;
  widget.at = at;
  widget.size = size;
  widget.resize(previous);
}

std::string sample_text() {
  std::string text;
  for (int paragraph = 0; paragraph < 6; ++paragraph) {
    text += "Paragraph " + std::to_string(paragraph + 1) +
            ": the quick brown fox jumps over the lazy dog, and the text box wraps these words "
            "at its width, scrolling by whole lines to keep the cursor in view.\n";
  }
  return text;
}

}  // namespace

TextPane::TextPane()
    : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()},
      text{vn::TextBox::Options{sample_text(), vn::TextBox::Wrap::Word, vn::Align::Left,
                                Brush{XColor{236}, XColor{252}, {}}, vn::FocusPolicy::Strong,
                                vn::SizePolicy::flex()}},
      bar{vn::ScrollBar::Options{0, 0, Brush{XColor{238}, XColor{250}, {}}}} {
  vn::link(text, bar);
}

void TextPane::resize(vn::Area) {
  place(text, {0, 0}, {std::max(size.width - 1, 0), size.height});
  place(bar, {std::max(size.width - 1, 0), 0}, {std::min(size.width, 1), size.height});
}

lum::Generator<vn::Widget&> TextPane::get_children() {
  co_yield text;
  co_yield bar;
}

CheckRow::CheckRow(int count) : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()} {
  labels.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    boxes.emplace_back(vn::CheckBox::Options{});
    labels.emplace_back(vn::Label::Options{"option " + std::to_string(i + 1), vn::Align::Left});
  }
  boxes.front().check();
}

void CheckRow::resize(vn::Area) {
  int x = 0;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    place(boxes[i], {x, 0}, {3, size.height});
    place(labels[i], {x + 4, 0}, {12, size.height});
    x += 18;
  }
}

lum::Generator<vn::Widget&> CheckRow::get_children() {
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    co_yield boxes[i];
    co_yield labels[i];
  }
}

Gallery::Gallery()
    : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()},
      edit{{}},
      checks{7},
      status{vn::Label::Options{"ready", vn::Align::Left}} {
  for (int i = 0; i < 12; ++i) {
    labels.children.emplace_back(vn::Label::Options{
        "label " + std::to_string(i + 1), vn::Align::Center,
        Brush{XColor{static_cast<std::uint16_t>(17 + 6 * i)}, XColor::BrightWhite, {}}});
  }
  for (int i = 0; i < 8; ++i) {
    vn::Button::Options options;
    options.label = vn::Label::Options{"Button " + std::to_string(i + 1), vn::Align::Center,
                                       Brush{XColor{24}, XColor::BrightWhite, {}}};
    options.focused_mod = [](vn::Label& label) { label.brush.traits = dalk::Trait::Bold; };
    buttons.children.emplace_back(std::move(options));
  }
  edit.placeholder = "type here";
  table_row.children.emplace_back(vn::DataTable::Options{});
  vn::DataTable& table = table_row.children.front();
  table.add_column("Name", vn::Align::Left, XColor::BrightCyan);
  table.add_column("Size", vn::Align::Right, XColor::BrightYellow);
  table.add_column("Kind", vn::Align::Center, XColor::BrightGreen);
  table.add_column("Modified", vn::Align::Left, XColor::BrightMagenta);
  for (int row = 0; row < 200; ++row) {
    table.add_row({"file" + std::to_string(row) + ".txt", std::to_string(row * 1021 % 99991),
                   row % 3 == 0 ? "text" : "binary", "2024-06-0" + std::to_string(row % 9)});
  }
}

void Gallery::resize(vn::Area) {
  int const w = size.width;
  place(labels, {0, 0}, {w, 1});
  place(buttons, {0, 1}, {w, 3});
  place(edit, {1, 5}, {std::max(w - 2, 0), 1});
  place(pane, {0, 7}, {w, 14});
  place(checks, {0, 22}, {w, 1});
  place(table_row, {0, 24}, {w, std::max(size.height - 25, 0)});
  place(status, {0, std::max(size.height - 1, 0)}, {w, 1});
}

lum::Generator<vn::Widget&> Gallery::get_children() {
  co_yield labels;
  co_yield buttons;
  co_yield edit;
  co_yield pane;
  co_yield checks;
  co_yield table_row;
  co_yield status;
}

int Gallery::count_widgets() {
  std::function<int(vn::Widget&)> count = [&](vn::Widget& widget) {
    int n = 1;
    for (vn::Widget& child : widget.get_children()) {
      n += count(child);
    }
    return n;
  };
  return count(*this);
}

}  // namespace bench

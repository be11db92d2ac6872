// A first whole application, built from plain widgets of its own: two coloured panels that take
// focus by click or Tab, a pad in which a marker follows the mouse, and a counter driven by a
// timer. Ctrl+C ends it and the terminal is restored.
#include <cstdio>
#include <exception>
#include <string>
#include <vn/vn.hpp>

namespace {

using dalk::Brush;
using dalk::Trait;
using dalk::XColor;

// A coloured rectangle that takes focus on click and by Tab, and says when it has it.
class Panel : public vn::Widget {
 public:
  Panel(std::string name, XColor color)
      : Widget{vn::FocusPolicy::Strong, vn::SizePolicy::flex()},
        name_{std::move(name)},
        color_{color} {}

  void focus_in() override { focused_ = true; }
  void focus_out() override { focused_ = false; }
  void mouse_press(dalk::Mouse) override { ++clicks_; }

  void paint(vn::Canvas canvas) override {
    Brush const brush{color_, XColor::BrightWhite, focused_ ? Trait::Bold : dalk::Traits{}};
    vn::put(canvas, {0, 0}, vn::shape::Fill{{U' ', brush}, canvas.size});
    vn::shape::Frame frame;
    if (focused_) {
      frame.corners = {U'┏', U'┓', U'┗', U'┛'};
      frame.walls = {U'━', U'━', U'┃', U'┃'};
    }
    vn::put(canvas, frame, brush);
    vn::paint_label(vn::Canvas{canvas.buffer,
                               {canvas.at.x + 1, canvas.at.y + 1},
                               {canvas.size.width - 2, canvas.size.height - 2}},
                    name_ + (focused_ ? " (focused)" : "") + "  clicks: " + std::to_string(clicks_),
                    vn::Align::Center, brush);
  }

 private:
  std::string name_;
  XColor color_;
  bool focused_ = false;
  int clicks_ = 0;
};

// A pad in which a marker follows the mouse pointer while it is over the pad.
class MousePad : public vn::Widget {
 public:
  MousePad() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()} {}

  void mouse_move(dalk::Mouse mouse) override { pointer_ = mouse.at; }
  void mouse_enter() override { hovered_ = true; }
  void mouse_leave() override { hovered_ = false; }

  void paint(vn::Canvas canvas) override {
    Brush const brush{XColor{236}, XColor{250}, {}};
    vn::put(canvas, {0, 0}, vn::shape::Fill{{U' ', brush}, canvas.size});
    vn::put(canvas, vn::shape::Frame{}, brush);
    std::string const title = hovered_ ? " mouse at " + std::to_string(pointer_.x) + "," +
                                             std::to_string(pointer_.y) + " "
                                       : " move the mouse here ";
    vn::put(canvas, {2, 0}, title);
    if (hovered_) {
      vn::put(canvas, pointer_, dalk::Glyph{U'●', {XColor{236}, XColor::BrightYellow, {}}});
    }
  }

 private:
  dalk::Point pointer_{0, 0};
  bool hovered_ = false;
};

// Counts the ticks of its own timer.
class Counter : public vn::Widget {
 public:
  Counter() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()} {}

  void timer(int id) override {
    if (id == timer_.id()) {
      ++count_;
    }
  }

  void paint(vn::Canvas canvas) override {
    vn::paint_label(canvas, "timer ticks: " + std::to_string(count_), vn::Align::Left,
                    Brush{XColor::Default, XColor::BrightGreen, {}});
  }

 private:
  vn::Timer timer_{std::chrono::milliseconds(250), true};
  int count_ = 0;
};

// The head: lays its children out by hand and paints a help line.
class Hello : public vn::Widget {
 public:
  Hello() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()} {}

  void resize(vn::Area) override {
    int const half = size.width / 2;
    int const panel_height = std::max(3, size.height / 2 - 1);
    left_.at = {0, 1};
    left_.size = {half, panel_height};
    right_.at = {half, 1};
    right_.size = {size.width - half, panel_height};
    pad_.at = {0, 1 + panel_height};
    pad_.size = {size.width, std::max(0, size.height - panel_height - 3)};
    counter_.at = {0, size.height - 1};
    counter_.size = {size.width / 2, 1};
  }

  void paint(vn::Canvas canvas) override {
    vn::put(canvas, {0, 0}, "Hello, Vennic!  Click or Tab moves the focus; Ctrl+C quits.");
  }

  using Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override {
    co_yield left_;
    co_yield right_;
    co_yield pad_;
    co_yield counter_;
  }

 private:
  Panel left_{"Left", XColor::Blue};
  Panel right_{"Right", XColor::Magenta};
  MousePad pad_;
  Counter counter_;
};

}  // namespace

int main() {
  Hello hello;
  // The terminal is restored when the application, which owns it, goes out of scope, also when
  // run() throws (the terminal's input ended, say). The recommended extensions are the terminal
  // protocols an interactive program wants.
  try {
    return vn::Application{hello, vn::Terminal{dalk::MouseMode::Move, dalk::KeyMode::Normal,
                                               dalk::Signals::On, dalk::recommended_extensions}}
        .run();
  } catch (std::exception const& error) {
    std::fprintf(stderr, "Error: %s\n", error.what());
    return 1;
  }
}

// A small application for the key-to-screen latency benchmark: a label above a focused line
// edit. The benchmark runs it in a pseudo-terminal, types into it and ends it with Ctrl+C.
// VENNIC_ESCAPE_WAIT_MS sets the escape wait (the library's default without it).
#include <chrono>
#include <cstdlib>
#include <string_view>

#include <vn/vn.hpp>

namespace {

class Form : public vn::Widget {
 public:
  Form() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()} {}

  void resize(vn::Area) override {
    place(label, {0, 0}, {size.width, 1});
    place(edit, {0, 1}, {size.width, 1});
  }

  using Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override {
    co_yield label;
    co_yield edit;
  }

  vn::Label label{vn::Label::Options{"Type here:", vn::Align::Left}};
  vn::LineEdit edit{vn::LineEdit::Options{}};

 private:
  static void place(vn::Widget& widget, vn::Point at, vn::Area area) {
    vn::Area const previous = widget.size;
    widget.at = at;
    widget.size = area;
    widget.resize(previous);
  }
};

}  // namespace

// No argument: no extensions. "answers": the recommended ones; "no-answers": the same without
// the terminal's answers (the start-up benchmark compares them).
int main(int argc, char** argv) {
  std::string_view const mode = argc > 1 ? argv[1] : "";
  dalk::Extensions extensions{};
  if (mode == "answers" || mode == "no-answers") {
    extensions = dalk::recommended_extensions;
  }
  if (mode == "no-answers") {
    extensions.remove(dalk::Extension::TerminalAnswers);
  }
  if (char const* wait = std::getenv("VENNIC_ESCAPE_WAIT_MS")) {
    dalk::set_escape_wait(std::chrono::milliseconds{std::atol(wait)});
  }
  Form form;
  vn::Focus::set(form.edit);
  return vn::Application{form, vn::Terminal{extensions}}.run();
}

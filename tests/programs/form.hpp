// A small form (a line edit, a check box and a status line in a framed column) shared by the
// form program, which runs it on a terminal, and the test that drives the same tree through
// vn::testing::Harness and compares the two screens.
#pragma once

#include <functional>
#include <string>
#include <tuple>

#include <vn/bordered.hpp>
#include <vn/checkbox.hpp>
#include <vn/label.hpp>
#include <vn/layout.hpp>
#include <vn/lineedit.hpp>

namespace vennic::test {

/// Enter in the line edit greets the name on the status line; the check box reports its state
/// there too. The widgets refer to one another, so the form stays where it was built.
class Form {
 public:
  Form() {
    name.submitted.connect([this](std::string const& text) { status.text = "Hello, " + text; });
    subscribe.checked.connect([this] { status.text = "Subscribed"; });
    subscribe.unchecked.connect([this] { status.text = "Not subscribed"; });
  }
  Form(Form const&) = delete;
  Form& operator=(Form const&) = delete;

  vn::LineEdit name{{.placeholder = "name", .size_policy = vn::SizePolicy::fixed(1)}};
  vn::CheckBox subscribe{vn::CheckBox::init};
  vn::Label status{{.text = "Who are you?"}};
  vn::Column<std::tuple<std::reference_wrapper<vn::LineEdit>, std::reference_wrapper<vn::CheckBox>,
                        std::reference_wrapper<vn::Label>>>
      column = vn::make_column(std::ref(name), std::ref(subscribe), std::ref(status));
  vn::Bordered<std::reference_wrapper<decltype(column)>> window{vn::Border::round("Form"),
                                                                std::ref(column)};
};

}  // namespace vennic::test

// How an application tests its screens with vn::testing::Harness: build the tree, drive it with
// clicks and keys as a user would, and compare what the screen shows. Copy and adapt.
//
// Focus is process-wide, so each test needs a process of its own: with GoogleTest, register
// the tests through gtest_discover_tests (as this project does) and run them under ctest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Point;
using Lines = std::vector<std::string>;

// The application's form, as it would appear in its own sources: the widgets are members and
// the layouts refer to them, so the form stays where it was built.
struct GreetingForm {
  GreetingForm() {
    ok.pressed.connect([this] { greet(); });
    name.submitted.connect([this](std::string const&) { greet(); });
  }
  GreetingForm(GreetingForm const&) = delete;
  GreetingForm& operator=(GreetingForm const&) = delete;

  void greet() { status.text = name.text.empty() ? "Who are you?" : "Hello, " + name.text + "!"; }

  vn::Label caption{
      {.text = "Name:", .align = vn::Align::Left, .size_policy = vn::SizePolicy::fixed(6)}};
  vn::LineEdit name{{.placeholder = "your name"}};
  vn::Button ok{{.label = {.text = "OK"}, .size_policy = vn::SizePolicy::fixed(4)}};
  vn::Label status{{.align = vn::Align::Right}};

  vn::Row<std::vector<vn::Widget*>> name_row{
      {&caption, &name}, vn::FocusPolicy::None, vn::SizePolicy::fixed(1)};
  vn::Row<std::vector<vn::Widget*>> button_row{
      {&ok, &status}, vn::FocusPolicy::None, vn::SizePolicy::fixed(1)};
  vn::Column<std::vector<vn::Widget*>> layout{{&name_row, &button_row}};
};

TEST(TestingExampleTest, FirstScreen) {
  GreetingForm form;
  vn::testing::Harness screen{form.layout, {24, 2}};
  EXPECT_EQ(screen.lines(), (Lines{
                                "Name: your name         ",
                                " OK                     ",
                            }));
  // The placeholder is dimmed; nothing has focus, so no cursor is shown.
  EXPECT_EQ(screen.cell(*screen.find("your")).brush, form.name.placeholder_brush);
  EXPECT_EQ(screen.cursor(), std::nullopt);
}

TEST(TestingExampleTest, TypeANameAndPressOkWithTheKeyboard) {
  GreetingForm form;
  vn::testing::Harness screen{form.layout, {24, 2}};
  screen.click(*screen.find("your name"));  // the line edit takes focus
  screen.type("Ada");
  EXPECT_EQ(screen.line(0), "Name: Ada               ");
  EXPECT_EQ(screen.cursor(), (Point{9, 0}));

  screen.key_press(dalk::Key::Tab);  // on to the button
  EXPECT_EQ(vn::Focus::get(), &form.ok);
  EXPECT_EQ(screen.cursor(), std::nullopt);
  screen.key_press(dalk::Key::Enter);
  EXPECT_EQ(screen.line(1), " OK          Hello, Ada!");
}

TEST(TestingExampleTest, EnterInTheLineEditAndClickingOkBothGreet) {
  GreetingForm form;
  vn::testing::Harness screen{form.layout, {24, 2}};
  screen.click({10, 0});
  screen.type("Bo\n");  // '\n' is the Enter key
  EXPECT_EQ(screen.line(1), " OK           Hello, Bo!");

  screen.click({6, 0});  // before the first character
  screen.key_press(dalk::Key::Delete);
  screen.key_press(dalk::Key::Delete);
  screen.click(*screen.find("OK"));
  // Focus has moved to the button, so the empty edit shows its placeholder again.
  EXPECT_EQ(screen.lines(), (Lines{
                                "Name: your name         ",
                                " OK         Who are you?",
                            }));
}

TEST(TestingExampleTest, TheFormFollowsTheWindowSize) {
  GreetingForm form;
  vn::testing::Harness screen{form.layout, {24, 2}};
  screen.resize({12, 3});
  EXPECT_EQ(screen.lines(), (Lines{
                                "Name: your n",
                                " OK         ",
                                "            ",
                            }));
  EXPECT_EQ(form.name.size, (vn::Area{6, 1}));
}

}  // namespace

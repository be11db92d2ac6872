#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Area;
using dalk::Point;
using vn::testing::Harness;

// Texts a reader must see whole, in every widget that shows text.
std::vector<std::string> const samples{
    "नमस्ते दुनिया",
    "বাংলা",
    "தமிழ்",
    "สวัสดีครับ",
    "שָׁלוֹם",
    "مَرْحَبًا",
    "❤️ heart",
    "1️⃣ keycap",
    "👩‍👩‍👧 family",
    "👍🏽 🇫🇷 👩‍💻",
    "\u1100\u1161\u11a8",
};

// The screen holds composed text.
std::string composed(std::string const& text) {
  return dalk::detail::u32_to_u8(dalk::nfc(dalk::detail::u8_string_to_u32_string(text)));
}

// The row without the spaces around the text.
std::string trimmed(std::string row) {
  row.erase(row.find_last_not_of(' ') + 1);
  row.erase(0, row.find_first_not_of(' '));
  return row;
}

class ScriptTextTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptTextTest, LabelAndBorderTitleShowTheTextWhole) {
  vn::Label label{vn::Label::Options{GetParam()}};
  Harness screen{label, {30, 1}};
  EXPECT_EQ(trimmed(screen.line(0)), composed(GetParam()));

  vn::Bordered box{vn::Border::light(GetParam()), vn::Label{vn::Label::Options{}}};
  Harness framed{box, {40, 3}};
  EXPECT_NE(framed.find(GetParam()), std::nullopt);
}

TEST_P(ScriptTextTest, TypedIntoALineEditItReadsBackAndBackspaceTakesACharacter) {
  vn::LineEdit edit{vn::LineEdit::init};
  Harness screen{edit, {30, 1}};
  screen.click({0, 0});
  screen.type(GetParam());
  EXPECT_EQ(edit.text, GetParam());
  EXPECT_EQ(trimmed(screen.line(0)), composed(GetParam()));
  // The cursor stands after the text, as wide as the screen shows it.
  EXPECT_EQ(screen.cursor(), (Point{dalk::text::cells(std::string_view{GetParam()}), 0}));
  std::size_t const before = edit.text.size();
  screen.key_press(dalk::Key::Backspace);
  EXPECT_LT(edit.text.size(), before);
  EXPECT_EQ(edit.text.size(), dalk::text::backspace_start(GetParam(), before));
}

TEST_P(ScriptTextTest, TextBoxAndTableCellShowTheTextWhole) {
  vn::TextBox box{vn::TextBox::Options{GetParam()}};
  Harness screen{box, {30, 2}};
  EXPECT_EQ(trimmed(screen.line(0)), composed(GetParam()));

  vn::DataTable table{vn::DataTable::init};
  table.add_column("Text", vn::Align::Left, dalk::XColor::Default);
  table.add_row({GetParam()});
  Harness table_screen{table, {40, 6}};
  EXPECT_NE(table_screen.find(GetParam()), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Samples, ScriptTextTest, ::testing::ValuesIn(samples));

TEST(ScriptTextCursorTest, ArrowsStepOverWholeCharacters) {
  vn::LineEdit edit{vn::LineEdit::init};
  edit.text = "a👩‍👩‍👧क्षि";
  Harness screen{edit, {30, 1}};
  screen.click({0, 0});
  std::vector<std::size_t> stops;
  for (int i = 0; i < 5; ++i) {
    screen.key_press(dalk::Key::ArrowRight);
    stops.push_back(edit.cursor_index);
  }
  // a | family | the conjunct | the end stays.
  std::size_t const family_end = 1 + std::string{"👩‍👩‍👧"}.size();
  EXPECT_EQ(stops, (std::vector<std::size_t>{1, family_end, edit.text.size(), edit.text.size(),
                                             edit.text.size()}));
}

}  // namespace

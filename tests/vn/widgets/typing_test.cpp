// What the two editing widgets take from the keyboard: one table, the same for both.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Key;
using dalk::Mod;

std::vector<Key> const untypeable{
    // Controls (C0, C1) and the special keys among them.
    Key::Tab, Key::Escape, dalk::key(0), dalk::key(31), Key::Insert, Key::PageUp, Key::PageDown,
    Key::F1, Key::F12, Key::BackTab, Key::Begin, dalk::key(0x85), dalk::key(0x9F),
    // Keys with modifiers.
    dalk::key(U'x') | Mod::Shift, dalk::key(U'x') | Mod::Ctrl, dalk::key(U'x') | Mod::Alt,
    dalk::key(U'x') | Mod::Meta, dalk::key(U'é') | Mod::Alt, Key::Enter | Mod::Alt,
    // Not Unicode scalar values: inserted, they would make the text invalid UTF-8.
    dalk::key(0xD800), dalk::key(0xDFFF), dalk::key(0x110000), dalk::key(0x80000000),
    // Noncharacters: scalar values, but for a program's internal use.
    dalk::key(0xFDD0), dalk::key(0xFFFE), dalk::key(0x3FFFF), dalk::key(0x10FFFF),
    // The console's keys without a character of their own (Left Control, Left Shift).
    dalk::key(0x40000), dalk::key(0x40002), dalk::key(0x4FFFF)};

// No-break space, a joiner, private use, an unassigned plane, the last typeable value.
std::u32string const typeable = U"\u00A0\u200D\uE000\U00050000\U0010FFFD";

template <typename Editor>
class TypingTest : public ::testing::Test {};

using Editors = ::testing::Types<vn::LineEdit, vn::TextBox>;
TYPED_TEST_SUITE(TypingTest, Editors);

TYPED_TEST(TypingTest, TakesTypeableCharactersAndIgnoresEveryOtherKey) {
  TypeParam editor{{.text = "ab"}};
  editor.cursor_index = 1;
  for (Key const key : untypeable) {
    editor.key_press(key);
    EXPECT_EQ(editor.text, "ab") << static_cast<unsigned>(key);
    EXPECT_EQ(editor.cursor_index, 1U) << static_cast<unsigned>(key);
  }
  for (char32_t const c : typeable) {
    editor.key_press(dalk::key(c));
  }
  EXPECT_EQ(editor.text, dalk::detail::u32_to_u8(U"a" + typeable + U"b"));
}

}  // namespace

// Text beyond ASCII in every widget that shows text: wide CJK characters, emoji, letters with
// combining marks, Devanagari, Thai, Hebrew and Arabic, an emoji with a presentation selector, a
// keycap, a family joined by zero-width joiners and a flag, in a border title, a label, a line
// edit (focused, the cursor at the end, so typing goes there), a text box and a data table.
// A screen cell holds a whole character (an extended grapheme cluster). The session is opened
// with dalk::recommended_extensions, which hold Extension::GraphemeClusters (with
// Extension::TerminalAnswers): start-up asks the terminal what it is and measures text the way
// it lays it out (whole clusters where it has mode 2027, kitty's or tmux's own rules, otherwise
// code point by code point), so the border and the table's rules stay in line after every
// character. Ctrl+C ends it with status 1.
#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include <vn/vn.hpp>

int main() {
  vn::Label label{{.text = "Label: 日本語テキスト 😀 cafe\u0301 नमस्ते दुनिया สวัสดีครับ end",
                   .align = vn::Align::Left,
                   .size_policy = vn::SizePolicy::fixed(1)}};
  vn::LineEdit edit{{.text = "Edit: ❤️ heart 1️⃣ keycap ",
                     .placeholder = "type here: 名前",
                     .size_policy = vn::SizePolicy::fixed(1)}};
  edit.cursor_index = edit.text.size();
  vn::TextBox text{{.text = "TextBox: 中文 カタカナ 🎉 nai\u0308ve שָׁלוֹם مَرْحَبًا 🇫🇷 wraps by cells",
                    .focus_policy = vn::FocusPolicy::Strong,
                    .size_policy = vn::SizePolicy::fixed(2)}};
  vn::DataTable table{{.size_policy = vn::SizePolicy::fixed(11)}};
  table.add_column("Greeting", vn::Align::Left, dalk::XColor::BrightCyan);
  table.add_column("Emoji", vn::Align::Left, dalk::XColor::BrightYellow);
  table.add_column("Note", vn::Align::Left, dalk::XColor::BrightGreen);
  table.add_row({"नमस्ते दुनिया", "❤️ heart", "東京 🗼"});
  table.add_row({"สวัสดีครับ", "1️⃣ keycap", "서울"});
  table.add_row({"שָׁלוֹם", "👩‍👩‍👧 family", "Zu\u0308rich"});
  table.add_row({"مَرْحَبًا", "🇫🇷", "😀 ok"});

  auto column = vn::make_column(std::ref(label), std::ref(edit), std::ref(text), std::ref(table));
  vn::Bordered window{
      vn::Border::round("Unicode 日本 😀 e\u0301 👩‍👩‍👧 family 🇫🇷"),
      std::ref(column)};

  vn::Focus::set(edit);
  try {
    return vn::Application{window, vn::Terminal{dalk::recommended_extensions}}.run();
  } catch (std::exception const& error) {
    std::fprintf(stderr, "Error: %s\n", error.what());
    return 1;
  }
}

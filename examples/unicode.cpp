// Text beyond ASCII in every widget that shows text: wide CJK characters, emoji and letters with
// combining marks in a border title, a label, a line edit (focused at the start, so typing goes
// there), a text box and a data table. Each wide character takes two cells and each letter with
// its mark one. Ctrl+C ends it with status 1.
#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include <vn/vn.hpp>

int main() {
  vn::Label label{{.text = "Label: 日本語テキスト 😀 cafe\u0301 end",
                   .align = vn::Align::Left,
                   .size_policy = vn::SizePolicy::fixed(1)}};
  vn::LineEdit edit{{.placeholder = "type here: 名前", .size_policy = vn::SizePolicy::fixed(1)}};
  vn::TextBox text{{.text = "TextBox: 中文 カタカナ 🎉 nai\u0308ve wraps by cells",
                    .focus_policy = vn::FocusPolicy::Strong,
                    .size_policy = vn::SizePolicy::fixed(2)}};
  vn::DataTable table{{.size_policy = vn::SizePolicy::fixed(7)}};
  table.add_column("City", vn::Align::Left, dalk::XColor::BrightCyan);
  table.add_column("Note", vn::Align::Left, dalk::XColor::BrightGreen);
  table.add_row({"東京 🗼", "Zu\u0308rich"});
  table.add_row({"서울", "😀 ok"});

  auto column = vn::make_column(std::ref(label), std::ref(edit), std::ref(text), std::ref(table));
  vn::Bordered window{vn::Border::round("Unicode 日本 😀 e\u0301"), std::ref(column)};

  vn::Focus::set(edit);
  try {
    return vn::Application{window, vn::Terminal{}}.run();
  } catch (std::exception const& error) {
    std::fprintf(stderr, "Error: %s\n", error.what());
    return 1;
  }
}

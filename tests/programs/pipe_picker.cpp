// A picker between a pipe and a file: `printf 'a\nb\n' | pipe_picker > chosen.txt`. It reads the
// items from its piped standard input, shows them on the controlling terminal, moves down on j
// and prints the item under the cursor on standard output once Enter has ended the session.
// After the session it tells on standard error which streams it found moved.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>
#include <vn/application.hpp>
#include <vn/focus.hpp>
#include <vn/put.hpp>
#include <vn/terminal.hpp>

namespace {

std::vector<std::string> read_lines(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n = 0; (n = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t const end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

class Picker : public vn::Widget {
 public:
  explicit Picker(std::vector<std::string> items)
      : vn::Widget{vn::FocusPolicy::Strong, vn::SizePolicy{}}, items{std::move(items)} {}

  void paint(vn::Canvas canvas) override {
    vn::put(canvas, {0, 0}, std::to_string(items.size()) + " items");
    for (std::size_t row = 0; row < items.size(); ++row) {
      vn::put(canvas, {0, static_cast<int>(row) + 1}, (row == selected ? "> " : "  ") + items[row]);
    }
  }
  void key_press(dalk::Key key) override {
    if (key == dalk::key(U'j') && selected + 1 < items.size()) {
      ++selected;
    } else if (key == dalk::Key::Enter) {
      vn::quit(0);
    }
  }

  std::vector<std::string> items;
  std::size_t selected = 0;
};

}  // namespace

int main() {
  std::string chosen;
  bool input_kept = false;
  bool output_kept = false;
  {
    vn::Terminal terminal{{.controlling_terminal = true}};
    input_kept = terminal.redirected_input() >= 0;
    output_kept = terminal.redirected_output() >= 0;
    Picker picker{read_lines(input_kept ? terminal.redirected_input() : 0)};
    vn::Focus::set(picker);
    if (vn::Application{picker, std::move(terminal)}.run() != 0) {
      return 2;
    }
    chosen = picker.items.empty() ? "" : picker.items[picker.selected];
  }
  std::fprintf(stderr, "\nkept:%s%s\n", input_kept ? " input" : "", output_kept ? " output" : "");
  std::printf("%s\n", chosen.c_str());
  return 0;
}

// A text box that waits for a paste of a known size: the tmux paste benchmark pastes into it and
// times how long the whole text takes to arrive. Usage: vennic_paste_app <bytes> <done-file>;
// once the box holds that many bytes it writes the done-file and quits.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <vn/vn.hpp>

namespace {

class WaitingBox : public vn::TextBox {
 public:
  WaitingBox(std::size_t expected, std::string done_file)
      : TextBox{Options{}}, expected_{expected}, done_file_{std::move(done_file)} {}

  void paste(std::string_view pasted) override {
    auto const start = std::chrono::steady_clock::now();
    TextBox::paste(pasted);
    auto const took =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    if (text.size() >= expected_) {
      if (std::FILE* file = std::fopen(done_file_.c_str(), "w")) {
        std::fprintf(file, "%zu bytes, the box took %.1f ms\n", text.size(), took.count());
        std::fclose(file);
      }
      vn::quit(0);
    }
  }

 private:
  std::size_t expected_;
  std::string done_file_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: vennic_paste_app <bytes> <done-file>\n", stderr);
    return 2;
  }
  WaitingBox box{static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10)), argv[2]};
  vn::Focus::set(box);
  return vn::Application{box, vn::Terminal{dalk::recommended_extensions}}.run();
}

#include "support/tmux.hpp"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace vennic::test {

std::string hex_keys(std::string const& s) {
  std::string out = "send-keys -H";
  char buffer[4];
  for (unsigned char c : s) {
    std::snprintf(buffer, sizeof buffer, " %02x", c);
    out += buffer;
  }
  return out;
}

bool have_tmux() {
  return std::system("command -v tmux >/dev/null 2>&1") == 0;
}

Tmux::Tmux(std::string const& name) : socket_{name + "-" + std::to_string(getpid())} {}

Tmux::~Tmux() {
  run("kill-server");
}

std::string Tmux::run(std::string const& arguments) const {
  std::string const command =
      "env -u TMUX timeout 10 tmux -L " + socket_ + " -f /dev/null " + arguments + " 2>/dev/null";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
      output.append(buffer.data(), n);
    }
    pclose(pipe);
  }
  return output;
}

std::string Tmux::screen() const {
  return run("capture-pane -p");
}

bool Tmux::wait_for_screen(std::string const& text, std::chrono::milliseconds limit) const {
  auto const deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (screen().find(text) != std::string::npos) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace vennic::test

// Drives whole programs under tmux as a person would: keys sent, the window resized, the pane
// read back as text. Every command and every wait is bounded.
#pragma once

#include <chrono>
#include <string>

namespace vennic::test {

/// The tmux command that types the bytes of s into the pane exactly (send-keys -H).
std::string hex_keys(std::string const& s);

/// Whether tmux can be run here.
bool have_tmux();

/// A tmux server of its own (unique socket, no configuration), killed at the end.
class Tmux {
 public:
  explicit Tmux(std::string const& name);
  Tmux(Tmux const&) = delete;
  Tmux& operator=(Tmux const&) = delete;
  ~Tmux();

  /// Runs one tmux command with a time-out; returns its standard output.
  std::string run(std::string const& arguments) const;
  /// The visible pane as text, one line per row.
  std::string screen() const;
  /// Polls the pane until it shows text; false after the time-out.
  bool wait_for_screen(std::string const& text,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

 private:
  std::string socket_;
};

}  // namespace vennic::test

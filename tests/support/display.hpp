// Processes for tests that run real terminals: a child in a process group of its own that is
// ended with it, and a virtual X display (Xvfb). Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vennic::test {

/// The program `name` on PATH, if any.
std::optional<std::string> find_program(std::string_view name);

/// A child process in a process group of its own, with exactly the given environment added and
/// its standard streams on /dev/null; the group is ended when this goes.
class Child {
 public:
  Child(std::vector<std::string> const& arguments, std::vector<std::string> const& environment,
        int keep_fd = -1);
  Child(Child const&) = delete;
  Child& operator=(Child const&) = delete;
  ~Child();

  bool started() const { return pid_ > 0; }

  /// Whether the process ended within `limit`.
  bool wait_for_end(std::chrono::milliseconds limit);

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
};

/// Xvfb on a display number it picks itself; an empty display when it did not start within 10 s.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(std::string const& xvfb);

  std::string const& display() const { return display_; }

 private:
  std::unique_ptr<Child> server_;
  std::string display_;
};

}  // namespace vennic::test

#include "support/display.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace vennic::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::optional<std::string> find_program(std::string_view name) {
  char const* path = std::getenv("PATH");
  std::istringstream folders{path ? path : "/usr/bin:/bin"};
  for (std::string folder; std::getline(folders, folder, ':');) {
    auto const candidate = std::filesystem::path{folder} / name;
    if (::access(candidate.c_str(), X_OK) == 0)
      return candidate.string();
  }
  return std::nullopt;
}

Child::Child(std::vector<std::string> const& arguments, std::vector<std::string> const& environment,
             int keep_fd) {
  std::vector<char*> argv;
  for (auto const& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setpgid(0, 0);
    for (auto const& variable : environment)
      ::putenv(const_cast<char*>(variable.c_str()));
    int const null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    for (int fd = 3; fd < 256; ++fd)
      if (fd != keep_fd)
        ::close(fd);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pid_ > 0)
    ::setpgid(pid_, pid_);
}

Child::~Child() {
  if (pid_ <= 0 || ended_)
    return;
  ::kill(-pid_, SIGTERM);
  if (!wait_for_end(2s)) {
    ::kill(-pid_, SIGKILL);
    wait_for_end(2s);
  }
}

bool Child::wait_for_end(std::chrono::milliseconds limit) {
  auto const deadline = Clock::now() + limit;
  while (!ended_) {
    int status = 0;
    auto const got = ::waitpid(pid_, &status, WNOHANG);
    if (got == pid_ || got < 0) {
      ended_ = true;
      // What the terminal started may outlive it.
      ::kill(-pid_, SIGKILL);
      break;
    }
    if (Clock::now() >= deadline)
      break;
    std::this_thread::sleep_for(20ms);
  }
  return ended_;
}

VirtualDisplay::VirtualDisplay(std::string const& xvfb) {
  int ready[2];
  if (::pipe(ready) != 0)
    return;
  server_ = std::make_unique<Child>(
      std::vector<std::string>{xvfb, "-displayfd", std::to_string(ready[1]), "-screen", "0",
                               "1024x768x24", "-nolisten", "tcp"},
      std::vector<std::string>{}, ready[1]);
  ::close(ready[1]);
  // Xvfb writes the display number and a line feed once it accepts clients.
  std::string number;
  auto const deadline = Clock::now() + 10s;
  while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
    pollfd wait{ready[0], POLLIN, 0};
    if (::poll(&wait, 1, 100) <= 0)
      continue;
    char buffer[16];
    auto const got = ::read(ready[0], buffer, sizeof buffer);
    if (got <= 0)
      break;
    number.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(ready[0]);
  if (number.find('\n') != std::string::npos)
    display_ = ":" + number.substr(0, number.find('\n'));
}

}  // namespace vennic::test

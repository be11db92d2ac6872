// Idle wakeups: runs a small application on a pseudo-terminal, once as it comes and once with
// dalk::Extension::QuietIdle, leaves it idle and counts the context switches of its threads
// (each wake from a wait counts one). Prints one Markdown table.
// Usage: vennic_idle_wakeups [seconds, default 10]
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vn/vn.hpp>

namespace {

using Clock = std::chrono::steady_clock;

int run_application(dalk::Extensions extensions) {
  vn::Label label{vn::Label::Options{"Idle.", vn::Align::Left}};
  return vn::Application{label, vn::Terminal{dalk::MouseMode::Move, dalk::KeyMode::Normal,
                                             dalk::Signals::On, extensions}}
      .run();
}

// Reads and drops the child's output for the duration, so it never blocks on a full terminal.
void drain(int master, std::chrono::milliseconds duration) {
  auto const end = Clock::now() + duration;
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    pollfd entry{master, POLLIN, 0};
    auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
    if (poll(&entry, 1, static_cast<int>(left.count()) + 1) > 0) {
      char buffer[4096];
      if (read(master, buffer, sizeof buffer) <= 0) {
        return;
      }
    }
  }
}

struct Switches {
  long input_thread = 0;
  long process = 0;
};

// Voluntary and involuntary switches of every thread; the input thread is the one that is not
// the main thread (the application starts no timers).
Switches switches_of(pid_t pid) {
  Switches total;
  std::string const tasks = "/proc/" + std::to_string(pid) + "/task";
  for (auto const& task : std::filesystem::directory_iterator(tasks)) {
    std::ifstream status{task.path() / "status"};
    long switches = 0;
    for (std::string line; std::getline(status, line);) {
      auto const colon = line.find(':');
      if (line.find("ctxt_switches") != std::string::npos && colon != std::string::npos) {
        switches += std::stol(line.substr(colon + 1));
      }
    }
    total.process += switches;
    if (task.path().filename() != std::to_string(pid)) {
      total.input_thread += switches;
    }
  }
  return total;
}

// The switches of an idle application over the given time.
Switches measure(dalk::Extensions extensions, std::chrono::seconds idle) {
  int master = -1;
  winsize size{};
  size.ws_col = 80;
  size.ws_row = 24;
  pid_t const pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) {
    std::perror("forkpty");
    std::exit(1);
  }
  if (pid == 0) {
    std::_Exit(run_application(extensions));
  }
  // Settled: the first frame is painted.
  drain(master, std::chrono::milliseconds(500));
  Switches const before = switches_of(pid);
  drain(master, idle);
  Switches const after = switches_of(pid);
  // Ctrl+C ends the application; a kill if it does not.
  ssize_t const written = write(master, "\x03", 1);
  auto const limit = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (written == 1 && waitpid(pid, &status, WNOHANG) == 0 && Clock::now() < limit) {
    drain(master, std::chrono::milliseconds(10));
  }
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  return Switches{after.input_thread - before.input_thread, after.process - before.process};
}

}  // namespace

int main(int argc, char** argv) {
  std::chrono::seconds const idle{argc > 1 ? std::atoi(argv[1]) : 10};
  std::printf("Idle wakeups over %lld s (context switches while nothing happens).\n\n",
              static_cast<long long>(idle.count()));
  std::printf("| mode | input thread | whole process |\n|---|---:|---:|\n");
  for (bool const quiet : {false, true}) {
    Switches const s =
        measure(quiet ? dalk::Extensions{dalk::Extension::QuietIdle} : dalk::Extensions{}, idle);
    std::printf("| %s | %ld | %ld |\n", quiet ? "QuietIdle" : "default (16 ms polls)",
                s.input_thread, s.process);
  }
  return 0;
}

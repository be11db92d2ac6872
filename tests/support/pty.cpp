#include "support/pty.hpp"

#include "support/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace vennic::test {
namespace {

using Clock = std::chrono::steady_clock;

int milliseconds_left(Clock::time_point deadline) {
  auto const left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

pid_t fork_on_pty(int& master, int columns, int rows) {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  // Buffered output of the test process must not be written twice.
  std::fflush(nullptr);
  pid_t const pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) {
    throw std::runtime_error(std::string("forkpty failed: ") + std::strerror(errno));
  }
  return pid;
}

bool poll_readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
}

}  // namespace

PtyChild PtyChild::start(std::function<int()> const& body, int columns, int rows) {
  int master = -1;
  pid_t const pid = fork_on_pty(master, columns, rows);
  if (pid == 0) {
    int status = child_threw_status;
    try {
      status = body();
    } catch (std::exception const& error) {
      std::fprintf(stderr, "child threw: %s\n", error.what());
    } catch (...) {
      std::fprintf(stderr, "child threw\n");
    }
    finish_child();
    _exit(status);
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  return PtyChild{pid, master};
}

PtyChild PtyChild::start_program(std::vector<std::string> const& argv,
                                 std::vector<std::string> const& environment, int columns,
                                 int rows) {
  if (argv.empty()) {
    throw std::invalid_argument("start_program: empty argv");
  }
  // Built before the fork: the child only calls exec.
  std::vector<char*> args;
  for (auto const& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  std::vector<char*> env;
  for (auto const& entry : environment) {
    env.push_back(const_cast<char*>(entry.c_str()));
  }
  env.push_back(nullptr);

  int master = -1;
  pid_t const pid = fork_on_pty(master, columns, rows);
  if (pid == 0) {
    execve(args[0], args.data(), env.data());
    _exit(127);
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  return PtyChild{pid, master};
}

PtyChild::PtyChild(PtyChild&& other) noexcept
    : pid_{other.pid_},
      master_{other.master_},
      reaped_{other.reaped_},
      status_{other.status_},
      output_{std::move(other.output_)},
      replies_{std::move(other.replies_)},
      unanswered_from_{other.unanswered_from_} {
  other.pid_ = -1;
  other.master_ = -1;
  other.reaped_ = true;
}

PtyChild::~PtyChild() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (master_ >= 0) {
    close(master_);
  }
}

void PtyChild::set_size(int columns, int rows, bool signal_child) {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  if (ioctl(master_, TIOCSWINSZ, &size) != 0) {
    throw std::runtime_error("TIOCSWINSZ failed");
  }
  if (signal_child) {
    kill(pid_, SIGWINCH);
  }
}

// Without blocking: a child that stops reading (or has ended, when nothing drains the terminal
// any more) fails the write after ten seconds without progress instead of holding it for good.
void PtyChild::write(std::string_view bytes) {
  int const flags = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  auto last_progress = std::chrono::steady_clock::now();
  std::string failure;
  while (!bytes.empty()) {
    ssize_t const n = ::write(master_, bytes.data(), bytes.size());
    if (n >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      last_progress = std::chrono::steady_clock::now();
    } else if (errno == EAGAIN) {
      if (std::chrono::steady_clock::now() - last_progress > std::chrono::seconds(10)) {
        failure = "write to pty timed out";
        break;
      }
      pollfd entry{master_, POLLOUT, 0};
      poll(&entry, 1, 50);
    } else if (errno != EINTR) {
      failure = std::string("write to pty failed: ") + std::strerror(errno);
      break;
    }
  }
  fcntl(master_, F_SETFL, flags);
  if (!failure.empty()) {
    throw std::runtime_error(failure);
  }
}

void PtyChild::hang_up() {
  if (master_ >= 0) {
    close(master_);
    master_ = -1;
  }
}

void PtyChild::flood(std::string_view bytes, std::function<void()> const& between,
                     std::size_t keep_last) {
  int const flags = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  auto last_progress = Clock::now();
  std::string failure;
  while (!bytes.empty()) {
    ssize_t const n = ::write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      last_progress = Clock::now();
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      failure = std::string("write to pty failed: ") + std::strerror(errno);
      break;
    } else if (Clock::now() - last_progress > std::chrono::seconds(10)) {
      failure = "write to pty timed out";
      break;
    }
    // What is there now, at most 256 KiB a pass; a short wait only when nothing went in.
    for (int reads = 0; reads < 64 && poll_readable(master_) && read_some(0); ++reads) {
    }
    discard_output(keep_last);
    if (between) {
      between();
    }
    if (n <= 0) {
      pollfd entry{master_, POLLOUT | POLLIN, 0};
      poll(&entry, 1, 10);
    }
  }
  fcntl(master_, F_SETFL, flags);
  if (!failure.empty()) {
    throw std::runtime_error(failure);
  }
}

bool PtyChild::read_some(int timeout_ms) {
  if (master_ < 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return false;
  }
  pollfd entry{master_, POLLIN, 0};
  int const ready = poll(&entry, 1, timeout_ms);
  if (ready <= 0) {
    return true;
  }
  char buffer[4096];
  ssize_t const n = ::read(master_, buffer, sizeof buffer);
  if (n > 0) {
    output_.append(buffer, static_cast<std::size_t>(n));
    answer_queries();
    return true;
  }
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
    return true;
  }
  // EIO: every slave descriptor is closed.
  return false;
}

void PtyChild::answer_queries() {
  if (replies_.empty()) {
    return;
  }
  // The request may have come in two reads; discarded output moved everything to the front.
  std::size_t const from = std::min(unanswered_from_, output_.size());
  if (output_.find("\x1b[c", from) == std::string::npos) {
    unanswered_from_ = output_.size() < 2 ? 0 : output_.size() - 2;
    return;
  }
  write(replies_);
  replies_.clear();
}

bool PtyChild::wait_for_output(std::string_view needle, std::chrono::milliseconds limit,
                               std::size_t from) {
  auto const deadline = Clock::now() + limit;
  for (;;) {
    if (output_.size() >= from && output_.find(needle, from) != std::string::npos) {
      return true;
    }
    int const left = milliseconds_left(deadline);
    if (left == 0) {
      return false;
    }
    if (!read_some(std::min(left, 50))) {
      // Nothing more can come; look once more at what was read.
      return output_.size() >= from && output_.find(needle, from) != std::string::npos;
    }
  }
}

void PtyChild::read_for(std::chrono::milliseconds duration) {
  auto const deadline = Clock::now() + duration;
  for (int left = milliseconds_left(deadline); left > 0; left = milliseconds_left(deadline)) {
    if (!read_some(std::min(left, 50))) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, 10)));
    }
  }
}

termios PtyChild::attributes() const {
  termios attributes{};
  // On Linux the master reports the slave's attributes.
  if (tcgetattr(master_, &attributes) != 0) {
    throw std::runtime_error("tcgetattr on the pty master failed");
  }
  return attributes;
}

void PtyChild::record(int status) {
  reaped_ = true;
  status_.exited = WIFEXITED(status);
  status_.exit_status = status_.exited ? WEXITSTATUS(status) : -1;
  status_.signaled = WIFSIGNALED(status);
  status_.signal = status_.signaled ? WTERMSIG(status) : 0;
}

bool PtyChild::running() {
  if (reaped_) {
    return false;
  }
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    record(status);
    return false;
  }
  return true;
}

ExitStatus PtyChild::wait_exit(std::chrono::milliseconds limit) {
  auto const deadline = Clock::now() + limit;
  bool slave_open = true;
  while (running()) {
    int const left = milliseconds_left(deadline);
    if (left == 0) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
      record(status);
      status_.timed_out = true;
      return status_;
    }
    if (slave_open) {
      slave_open = read_some(std::min(left, 20));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, 5)));
    }
  }
  // Collect what the child wrote just before it ended.
  while (slave_open && master_ >= 0) {
    pollfd entry{master_, POLLIN, 0};
    if (poll(&entry, 1, 0) <= 0) {
      break;
    }
    slave_open = read_some(0);
  }
  return status_;
}

bool wait_until(std::function<bool()> const& condition, std::chrono::milliseconds limit) {
  auto const deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() >= deadline) {
      return condition();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void wait_for_go() {
  std::fputs("ready\n", stderr);
  char line[8];
  while (::read(0, line, sizeof line) <= 0) {
  }
}

int run_foreground_job(std::function<int()> const& job) {
  std::fflush(nullptr);
  pid_t const application = fork();
  if (application == 0) {
    setpgid(0, 0);
    // The test types only once this process group owns the terminal.
    while (tcgetpgrp(0) != getpid()) {
      usleep(1000);
    }
    int const code = job();
    std::fflush(nullptr);
    _exit(code);
  }
  setpgid(application, application);
  tcsetpgrp(0, application);
  std::fprintf(stderr, "application %d\n", static_cast<int>(application));
  for (;;) {
    int status = 0;
    if (waitpid(application, &status, WUNTRACED) < 0) {
      return 20;
    }
    if (WIFSTOPPED(status)) {
      std::fprintf(stderr, "\nstopped by %d\n", WSTOPSIG(status));
      continue;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
  }
}

pid_t foreground_job(PtyChild& child, std::chrono::milliseconds limit) {
  std::string_view const announcement = "application ";
  if (!child.wait_for_output(announcement, limit)) {
    return -1;
  }
  std::size_t const at = child.output().find(announcement);
  if (!child.wait_for_output("\n", limit, at)) {
    return -1;
  }
  return std::stoi(child.output().substr(at + announcement.size()));
}

StdinPipe::StdinPipe() {
  int fds[2];
  if (pipe(fds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  saved_stdin_ = dup(0);
  dup2(fds[0], 0);
  close(fds[0]);
  writer_ = fds[1];
}

StdinPipe::~StdinPipe() {
  close_writer();
  if (saved_stdin_ >= 0) {
    dup2(saved_stdin_, 0);
    close(saved_stdin_);
  } else {
    close(0);
  }
}

void StdinPipe::write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t const n = ::write(writer_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::runtime_error("write to the stdin pipe failed");
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void StdinPipe::close_writer() {
  if (writer_ >= 0) {
    close(writer_);
    writer_ = -1;
  }
}

bool same_attributes(termios const& a, termios const& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::equal(std::begin(a.c_cc), std::end(a.c_cc), b.c_cc);
}

}  // namespace vennic::test

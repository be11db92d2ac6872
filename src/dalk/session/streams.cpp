#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "dalk/session/terminal_internal.hpp"
#include "dalk/signals.hpp"
#include "dalk/terminal.hpp"

namespace dalk {
namespace {

// The originals kept by move_streams_to(), as the signal handlers see them; -1 for none.
volatile std::sig_atomic_t kept_input = -1;
volatile std::sig_atomic_t kept_output = -1;

// Puts the original kept in `kept` back on `target` and closes the copy, once whoever calls
// first (the destructor's path or a handler). Async-signal-safe.
void put_back(volatile std::sig_atomic_t& kept, int target) {
  int const copy = detail::exchange_flag(kept, -1);
  if (copy < 0) {
    return;
  }
  while (dup2(copy, target) < 0 && errno == EINTR) {
  }
  close(copy);
}

void close_if_open(int fd) {
  if (fd >= 0) {
    close(fd);
  }
}

}  // namespace

namespace detail {

void put_back_streams_from_signal() {
  int const saved_errno = errno;
  put_back(kept_input, 0);
  put_back(kept_output, 1);
  errno = saved_errno;
}

}  // namespace detail

KeptStreams move_streams_to(int tty) {
  // A tty opened while a standard descriptor was closed took that descriptor's place: it is
  // where it belongs, and stays open.
  auto const release_tty = [tty] {
    if (tty > 2) {
      close(tty);
    }
  };
  if (detail::load_flag(kept_input) >= 0 || detail::load_flag(kept_output) >= 0) {
    release_tty();
    throw std::logic_error("move_streams_to(): the standard streams are already moved");
  }
  KeptStreams kept;
  auto const fail = [&](int error) {
    close_if_open(kept.input);
    close_if_open(kept.output);
    release_tty();
    throw std::runtime_error(std::string("move_streams_to(): ") + std::strerror(error));
  };
  bool const move_input = isatty(0) == 0;
  bool const move_output = isatty(1) == 0;
  if (move_input && (kept.input = fcntl(0, F_DUPFD_CLOEXEC, 3)) < 0) {
    fail(errno);
  }
  if (move_output && (kept.output = fcntl(1, F_DUPFD_CLOEXEC, 3)) < 0) {
    fail(errno);
  }
  // What the program wrote so far belongs to the original output.
  std::fflush(stdout);
  // Published before the move, so that a handler from here on puts the originals back.
  detail::store_flag(kept_input, kept.input);
  detail::store_flag(kept_output, kept.output);
  for (int const target : {0, 1}) {
    if ((target == 0 ? move_input : move_output) && dup2(tty, target) < 0) {
      int const error = errno;
      put_back_streams();
      kept = {};
      fail(error);
    }
  }
  release_tty();
  return kept;
}

void put_back_streams() {
  // The session's last bytes belong to the terminal.
  std::fflush(stdout);
  detail::put_back_streams_from_signal();
}

}  // namespace dalk

// The input decoder on arbitrary bytes: they are put into a pipe that stands in for standard
// input, and dalk::read(0) is called until the pipe is drained. Exceptions from the standard
// hierarchy are allowed results (undecodable sequences, input ending inside a sequence); a
// crash, a hang, a sanitizer report or an event the byte stream cannot carry is a fault.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <variant>

#include <dalk/dalk.hpp>

namespace {

// A pipe holds 64 KiB; the writer is closed, so a sequence cut off by the end of the input
// fails instead of waiting.
constexpr std::size_t max_input = 65536;

std::size_t unread_bytes() {
  int waiting = 0;
  if (ioctl(0, FIONREAD, &waiting) != 0) {
    std::abort();
  }
  return static_cast<std::size_t>(waiting);
}

// Neither a Resize nor a key release can come from the byte stream without a signal or a
// console.
void check(dalk::Event const& event) {
  if (std::holds_alternative<dalk::Resize>(event) ||
      std::holds_alternative<dalk::KeyRelease>(event)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  if (size > max_input) {
    size = max_input;
  }
  static int const saved_stdin = dup(0);
  int fds[2];
  if (pipe(fds) != 0) {
    std::abort();
  }
  fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(max_input));
  std::size_t written = 0;
  while (written < size) {
    ssize_t const n = write(fds[1], data + written, size - written);
    if (n <= 0) {
      std::abort();
    }
    written += static_cast<std::size_t>(n);
  }
  close(fds[1]);
  dup2(fds[0], 0);
  close(fds[0]);

  // Every call consumes at least one byte or throws after consuming some, so this ends.
  std::size_t calls = 0;
  while (unread_bytes() > 0) {
    if (++calls > size + 1) {
      std::abort();
    }
    try {
      if (auto const event = dalk::read(0)) {
        check(*event);
      }
    } catch (std::exception const&) {
      // Undecodable input: the bytes read so far are consumed and reading goes on.
    }
  }
  dup2(saved_stdin, 0);
  return 0;
}

#include "dalk/console_file.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

namespace dalk::detail {

std::optional<int> tty_file_descriptor;

namespace {

// The Linux console keyboard requests (linux/kd.h), spelled out so that nothing else of that
// header leaks in.
constexpr unsigned long kdgkbtype = 0x4B33;
constexpr unsigned long kdgkbmode = 0x4B44;
constexpr unsigned long kdskbmode = 0x4B45;
// Keyboard types KB_84 and KB_101.
constexpr char keyboard_84 = 1;
constexpr char keyboard_101 = 2;

constexpr std::array<char const*, 6> console_paths = {
    "/proc/self/fd/0", "/dev/tty", "/dev/tty0", "/dev/vc/0", "/dev/systty", "/dev/console"};

bool is_console(int fd) {
  if (isatty(fd) == 0) {
    return false;
  }
  char type = 0;
  if (ioctl(fd, kdgkbtype, &type) != 0) {
    return false;
  }
  return type == keyboard_84 || type == keyboard_101;
}

int open_any_mode(char const* path) {
  for (int flags : {O_RDWR, O_WRONLY, O_RDONLY}) {
    int const fd = open(path, flags);
    if (fd >= 0) {
      return fd;
    }
  }
  return -1;
}

}  // namespace

int open_console_file() {
  for (char const* path : console_paths) {
    int const fd = open_any_mode(path);
    if (fd < 0) {
      continue;
    }
    if (is_console(fd)) {
      return fd;
    }
    close(fd);
  }
  for (int fd : {0, 1, 2}) {
    if (is_console(fd)) {
      return fd;
    }
  }
  throw std::runtime_error("open_console_file(): Can't open console file. Try sudo.");
}

long current_keyboard_mode(int fd) {
  long mode = 0;
  if (ioctl(fd, kdgkbmode, &mode) != 0) {
    throw std::runtime_error("current_keyboard_mode(): Failed.");
  }
  return mode;
}

void set_keyboard_mode(int fd, long mode) {
  if (ioctl(fd, kdskbmode, mode) != 0) {
    throw std::runtime_error("set_keyboard_mode(): Failed.");
  }
}

}  // namespace dalk::detail

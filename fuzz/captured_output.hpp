// Standard output taken by a memory file, for the targets whose commits write there: each input
// reads back what it wrote.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fuzz_input.hpp"

namespace {

// Everything written to standard output since the last call; the file is emptied.
[[maybe_unused]] std::string take_output() {
  std::fflush(stdout);
  std::string out;
  char buffer[65536];
  off_t offset = 0;
  for (ssize_t n = 0; (n = pread(1, buffer, sizeof buffer, offset)) > 0; offset += n) {
    out.append(buffer, static_cast<std::size_t>(n));
  }
  require(ftruncate(1, 0) == 0);
  require(lseek(1, 0, SEEK_SET) == 0);
  return out;
}

// Puts a memory file called name in place of standard output (the first time) and empties it,
// so that an input starts with nothing written.
[[maybe_unused]] void capture_output(char const* name) {
  static bool const redirected = [name] {
    std::fflush(stdout);
    int const fd = memfd_create(name, 0);
    require(fd >= 0 && dup2(fd, 1) == 1);
    close(fd);
    return true;
  }();
  (void)redirected;
  take_output();
}

}  // namespace

#include "support/privileges.hpp"

#include <fcntl.h>
#include <grp.h>
#include <unistd.h>

#include <initializer_list>

namespace vennic::test {

bool drop_root() {
  if (geteuid() != 0) {
    return true;
  }
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
    return false;
  }
  // Root must be gone for good: getting it back has to fail.
  return getuid() != 0 && geteuid() != 0 && setuid(0) != 0;
}

bool console_reachable() {
  for (char const* path : {"/dev/tty0", "/dev/vc/0", "/dev/systty", "/dev/console"}) {
    for (int flags : {O_RDWR, O_WRONLY, O_RDONLY}) {
      int const fd = open(path, flags | O_NOCTTY | O_NONBLOCK);
      if (fd >= 0) {
        close(fd);
        return true;
      }
    }
  }
  return false;
}

}  // namespace vennic::test

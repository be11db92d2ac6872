#include "support/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vn/terminal.hpp>

namespace vennic::test {

void finish_child() {
  std::fflush(nullptr);
  vn::Terminal::timers.clear();
}

ChildResult run_in_child(std::function<int()> const& body, std::chrono::milliseconds limit) {
  int fds[2];
  if (pipe(fds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::fflush(nullptr);
  pid_t const pid = fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[1]);
    int status = 1;
    try {
      status = body();
    } catch (std::exception const& e) {
      std::fprintf(stderr, "child threw: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "child threw\n");
    }
    finish_child();
    _exit(status);
  }
  close(fds[1]);
  ChildResult result;
  auto const deadline = std::chrono::steady_clock::now() + limit;
  char buffer[4096];
  for (;;) {
    auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    pollfd pfd{fds[0], POLLIN, 0};
    int const ready = poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready <= 0) {
      continue;
    }
    ssize_t const n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) {
      break;
    }
    result.output.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  // The pipe closed; the child is ending. Bound the wait all the same.
  for (int i = 0; i < 2000; ++i) {
    pid_t const done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      result.exited = WIFEXITED(status);
      result.exit_status = result.exited ? WEXITSTATUS(status) : -1;
      result.signaled = WIFSIGNALED(status);
      result.signal = result.signaled ? WTERMSIG(status) : 0;
      return result;
    }
    usleep(5000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  result.timed_out = true;
  return result;
}

ChildResult run_program(std::string const& path, std::vector<std::string> const& arguments,
                        std::vector<std::string> const& environment,
                        std::chrono::milliseconds limit) {
  // Built before the fork: the child only calls execve.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (auto const& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto const& entry : environment) {
    envp.push_back(const_cast<char*>(entry.c_str()));
  }
  envp.push_back(nullptr);
  return run_in_child(
      [&] {
        execve(path.c_str(), argv.data(), envp.data());
        return 127;
      },
      limit);
}

std::string capture_stdout(std::function<void()> const& body) {
  std::fflush(stdout);
  FILE* file = std::tmpfile();
  int const saved = dup(1);
  dup2(fileno(file), 1);
  body();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string bytes;
  std::rewind(file);
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.append(buffer, n);
  }
  std::fclose(file);
  return bytes;
}

}  // namespace vennic::test

// Test helpers: running code in a child process, capturing standard output, checking the
// exact message of an exception. Every wait is bounded.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vennic::test {

struct ChildResult {
  bool exited = false;     // ended through exit()/return
  int exit_status = -1;    // valid when exited
  bool signaled = false;   // ended by a signal
  int signal = 0;          // valid when signaled
  bool timed_out = false;  // killed after the time limit
  std::string output;      // everything the child wrote to stdout and stderr
};

/// What a child does before _exit: flushes stdio and joins the library's timer threads, as a
/// normal exit's static destructors would (ThreadSanitizer reports threads never joined).
void finish_child();

/// Runs body in a forked child whose stdout and stderr go to a pipe; the child's exit status
/// is body's return value. The child is killed if it outlives the limit.
ChildResult run_in_child(std::function<int()> const& body,
                         std::chrono::milliseconds limit = std::chrono::seconds(20));

/// Runs the program at path with the given arguments and exactly the given environment
/// ("NAME=value" entries; nothing is inherited), capturing its stdout and stderr as
/// run_in_child does. Exit status 127 means the program could not be started.
ChildResult run_program(std::string const& path, std::vector<std::string> const& arguments,
                        std::vector<std::string> const& environment,
                        std::chrono::milliseconds limit = std::chrono::seconds(20));

/// Runs body with file descriptor 1 redirected into a temporary file and returns every byte
/// written to it (stdout is flushed before and after).
std::string capture_stdout(std::function<void()> const& body);

}  // namespace vennic::test

/// Checks that statement throws exactly type with exactly the message.
#define EXPECT_THROW_MSG(statement, type, message)                   \
  do {                                                               \
    try {                                                            \
      statement;                                                     \
      ADD_FAILURE() << "no exception from " #statement;              \
    } catch (type const& error) {                                    \
      EXPECT_EQ(std::string(error.what()), std::string(message));    \
    } catch (...) {                                                  \
      ADD_FAILURE() << "unexpected exception type from " #statement; \
    }                                                                \
  } while (false)

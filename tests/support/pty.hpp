// Pseudo-terminal harness: runs code, or a program, in a child whose controlling terminal is a
// pty, and lets the test play the terminal: set the window size, type bytes, read every byte
// the child writes and collect its exit status. Also a pipe that stands in for standard input.
// Every wait is bounded; a child still running when its handle goes away is killed.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vennic::test {

/// Exit status given by a child whose body threw.
inline constexpr int child_threw_status = 120;

/// How a child ended.
struct ExitStatus {
  bool exited = false;     // ended through exit() or _exit()
  int exit_status = -1;    // valid when exited
  bool signaled = false;   // ended by a signal
  int signal = 0;          // valid when signaled
  bool timed_out = false;  // killed after the time limit
};

/// A child process on a pseudo-terminal.
class PtyChild {
 public:
  /// Runs body in a forked child whose standard input, output and error and controlling
  /// terminal are the pty slave, sized columns x rows. The child exits with body's return value
  /// (after flushing stdio), or with child_threw_status after printing the exception on stderr.
  static PtyChild start(std::function<int()> const& body, int columns = 80, int rows = 24);

  /// Runs the program argv[0] with exactly the given environment ("NAME=value" entries).
  static PtyChild start_program(std::vector<std::string> const& argv,
                                std::vector<std::string> const& environment, int columns = 80,
                                int rows = 24);

  PtyChild(PtyChild&& other) noexcept;
  PtyChild& operator=(PtyChild&&) = delete;
  PtyChild(PtyChild const&) = delete;
  PtyChild& operator=(PtyChild const&) = delete;
  ~PtyChild();

  pid_t pid() const { return pid_; }
  int master() const { return master_; }

  /// Sets the window size. The kernel sends SIGWINCH to the terminal's foreground process group
  /// (the child) when the size changes; with signal_child the child is also signalled directly.
  void set_size(int columns, int rows, bool signal_child = false);

  /// Types bytes into the terminal.
  void write(std::string_view bytes);

  /// Closes the terminal's master side, as a terminal window that goes away: the child's
  /// terminal hangs up (the kernel sends it SIGHUP). Its output can be read no more.
  void hang_up();

  /// Types bytes as a terminal under a burst would, reading (and dropping all but the last
  /// keep_last bytes of) the child's output between writes, so a child that paints as it reads
  /// never blocks on its output; calls between() after every pass. Throws as write() does when
  /// no byte has gone in for ten seconds.
  void flood(std::string_view bytes, std::function<void()> const& between = {},
             std::size_t keep_last = 65536);

  /// Plays a terminal that answers start-up's questions: once the child's output holds the
  /// device attributes request ("\e[c"), replies are typed back, once.
  void reply_to_queries(std::string_view replies) { replies_ = replies; }

  /// Reads the child's output until needle appears in it at or after offset from, or limit
  /// has passed; true if it appeared.
  bool wait_for_output(std::string_view needle,
                       std::chrono::milliseconds limit = std::chrono::seconds(10),
                       std::size_t from = 0);

  /// Reads the child's output for the whole duration.
  void read_for(std::chrono::milliseconds duration);

  /// Every byte read from the child so far.
  std::string const& output() const { return output_; }

  /// Forgets the output read so far except its last keep_last bytes (for children that write
  /// more than is worth keeping).
  void discard_output(std::size_t keep_last = 0) {
    if (output_.size() > keep_last) {
      output_.erase(0, output_.size() - keep_last);
    }
  }

  /// The terminal's attributes as the child sees them (tcgetattr through the master).
  termios attributes() const;

  /// Whether the child is still running; reaps it once it has ended.
  bool running();

  /// Waits for the child to end, reading its output meanwhile; kills it once limit has passed.
  ExitStatus wait_exit(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  PtyChild(pid_t pid, int master) : pid_{pid}, master_{master} {}
  // Reads what is available within timeout_ms; false once the slave side is gone.
  bool read_some(int timeout_ms);
  // Types the replies once the child's output holds the device attributes request.
  void answer_queries();
  void record(int status);

  pid_t pid_ = -1;
  int master_ = -1;
  bool reaped_ = false;
  ExitStatus status_;
  std::string output_;
  std::string replies_;
  std::size_t unanswered_from_ = 0;
};

/// Polls condition every few milliseconds until it holds or limit has passed; for use inside
/// children. Returns the last value of condition.
bool wait_until(std::function<bool()> const& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

/// For use inside children: announces "ready" on standard error, then waits for a line on
/// standard input, so that the test can read the terminal's attributes before the child
/// changes them and then lets it go (by typing "go\n").
void wait_for_go();

/// For use inside children: plays a shell with job control. Runs job in a forked process, in a
/// process group of its own in the terminal's foreground (job starts once its group owns the
/// terminal), announces "application <pid>" on standard error and "\nstopped by <signal>\n" at
/// each stop, after which the job stays stopped until the test continues it. Returns job's exit
/// status, 100 + the signal that ended it, or 20 if it could not be waited for.
int run_foreground_job(std::function<int()> const& job);

/// The process id that run_foreground_job announced in child's output, waiting up to limit for
/// the announcement; -1 if none came.
pid_t foreground_job(PtyChild& child, std::chrono::milliseconds limit = std::chrono::seconds(10));

/// Standard input replaced by a pipe for the life of the object; the test writes the bytes
/// that the code under test then reads from descriptor 0. The old descriptor 0 comes back at
/// destruction.
class StdinPipe {
 public:
  StdinPipe();
  StdinPipe(StdinPipe const&) = delete;
  StdinPipe& operator=(StdinPipe const&) = delete;
  ~StdinPipe();

  /// Writes all bytes into the pipe (they must fit its buffer: 64 KiB on Linux).
  void write(std::string_view bytes);
  /// Closes the writing end: once the pipe is drained, reads meet end of input.
  void close_writer();

 private:
  int saved_stdin_ = -1;
  int writer_ = -1;
};

/// Whether two sets of terminal attributes have the same flags and control characters.
bool same_attributes(termios const& a, termios const& b);

}  // namespace vennic::test

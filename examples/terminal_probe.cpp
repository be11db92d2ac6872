// Records what a terminal answers, byte for byte, for scripts/emulator_check.sh. It does not use
// the library's decoder on purpose: the point is to see the raw bytes a terminal sends.
//   terminal_probe answers OUT          queries sent together, then each behind its own fence
//   terminal_probe keys FLAGS OUT SECS  pushes kitty keyboard flags FLAGS and records SECS seconds
//   terminal_probe title TEXT OUT SECS  after SECS seconds sets the window title, SECS later
//                                       restores it, and ends SECS after that
//   terminal_probe library OUT SECS     the library's own session with the recommended
//                                       extensions: records its answers, asks which kitty flags
//                                       are in force, and records SECS seconds of key events
// Each read is one line of OUT: the milliseconds since the start, then the bytes, escaped.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <dalk/dalk.hpp>

namespace {

using Clock = std::chrono::steady_clock;

std::string escaped(std::string_view bytes) {
  std::string out;
  for (unsigned char const byte : bytes) {
    if (byte == 0x1b) {
      out += "\\e";
    } else if (byte == '\\') {
      out += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7f) {
      out += static_cast<char>(byte);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    }
  }
  return out;
}

class RawTerminal {
 public:
  RawTerminal() : fd_{::open("/dev/tty", O_RDWR | O_NOCTTY)} {
    if (fd_ < 0 || ::tcgetattr(fd_, &saved_) != 0) {
      std::perror("terminal_probe: /dev/tty");
      std::exit(2);
    }
    termios raw = saved_;
    ::cfmakeraw(&raw);
    ::tcsetattr(fd_, TCSAFLUSH, &raw);
  }
  ~RawTerminal() {
    ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    ::close(fd_);
  }
  RawTerminal(RawTerminal const&) = delete;
  RawTerminal& operator=(RawTerminal const&) = delete;

  void write(std::string_view bytes) const {
    while (!bytes.empty()) {
      auto const written = ::write(fd_, bytes.data(), bytes.size());
      if (written <= 0)
        return;
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
  }

  // Reads for at most `limit`, or until the bytes read so far end with `until` (when given).
  // Every read becomes one line of `log`.
  std::string record(std::ofstream& log, std::chrono::milliseconds limit,
                     std::string_view until = {}) const {
    std::string all;
    auto const start = Clock::now();
    auto const deadline = start + limit;
    while (Clock::now() < deadline) {
      auto const left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, static_cast<int>(left.count()) + 1) <= 0)
        continue;
      char buffer[4096];
      auto const got = ::read(fd_, buffer, sizeof buffer);
      if (got <= 0)
        break;
      std::string_view const bytes{buffer, static_cast<std::size_t>(got)};
      all += bytes;
      auto const ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      log << "  +" << ms << "ms " << escaped(bytes) << '\n' << std::flush;
      if (!until.empty() && all.find(until) != std::string::npos)
        break;
    }
    return all;
  }

 private:
  int fd_;
  termios saved_{};
};

struct Query {
  char const* name;
  char const* bytes;
};

constexpr Query queries[] = {
    {"XTVERSION", "\x1b[>0q"},
    {"DECRQM 2026", "\x1b[?2026$p"},
    {"DECRQM 2027", "\x1b[?2027$p"},
    {"DECRQM 2004", "\x1b[?2004$p"},
    {"DECRQM 1004", "\x1b[?1004$p"},
    {"kitty flags", "\x1b[?u"},
    {"OSC 10", "\x1b]10;?\x1b\\"},
    {"OSC 11", "\x1b]11;?\x1b\\"},
    {"XTGETTCAP RGB", "\x1bP+q524742\x1b\\"},
    {"XTGETTCAP Tc", "\x1bP+q5463\x1b\\"},
    // A name every terminfo entry has: whether the terminal answers XTGETTCAP at all.
    {"XTGETTCAP Co", "\x1bP+q436f\x1b\\"},
    {"DA1", "\x1b[c"},
};

void probe_answers(std::ofstream& log) {
  RawTerminal const terminal;
  std::string together;
  for (auto const& query : queries)
    together += query.bytes;
  log << "all queries at once: " << escaped(together) << '\n';
  terminal.write(together);
  terminal.record(log, std::chrono::milliseconds{1000});
  // One at a time, each followed by DA1: the answer before the DA1 answer is that query's.
  for (auto const& query : queries) {
    log << query.name << ": " << escaped(query.bytes) << '\n';
    terminal.write(std::string{query.bytes} + "\x1b[c");
    terminal.record(log, std::chrono::milliseconds{1000}, "c");
  }
}

void probe_keys(std::ofstream& log, std::string const& flags, std::string const& out, int seconds) {
  RawTerminal const terminal;
  // The flags read back show whether the terminal took the push.
  terminal.write("\x1b[>" + flags + "u\x1b[?u");
  log << "pushed kitty flags " << flags << ", then asked for them\n" << std::flush;
  std::ofstream{out + ".ready"} << "ready\n";
  terminal.record(log, std::chrono::seconds{seconds});
  terminal.write("\x1b[<u");
}

void probe_title(std::ofstream& log, std::string const& title, std::string const& out,
                 int seconds) {
  std::this_thread::sleep_for(std::chrono::seconds{seconds});
  // The library's own path: the session saves the title, and restoring the session puts it back.
  dalk::initialize_normal_terminal();
  dalk::set_title(title);
  dalk::flush();
  log << "title set: " << escaped(title) << '\n' << std::flush;
  std::ofstream{out + ".set"} << "set\n";
  std::this_thread::sleep_for(std::chrono::seconds{seconds});
  dalk::uninitialize_terminal();
  log << "title restored\n" << std::flush;
  std::ofstream{out + ".restored"} << "restored\n";
  std::this_thread::sleep_for(std::chrono::seconds{seconds});
}

std::string describe(dalk::TerminalAnswers const& a) {
  auto const mode = [](dalk::ModeReport report) {
    return std::to_string(static_cast<int>(report));
  };
  std::string out = "version \"" + a.version + "\" fenced " + (a.fenced ? "yes" : "no") +
                    " modes 2026/2027/2004/1004 " + mode(a.synchronized_output) + "/" +
                    mode(a.grapheme_clusters) + "/" + mode(a.bracketed_paste) + "/" +
                    mode(a.focus_reports) + " kitty flags " +
                    (a.kitty_keyboard_flags ? std::to_string(*a.kitty_keyboard_flags) : "none");
  if (a.background) {
    out += " background " + std::to_string(a.background->red) + "," +
           std::to_string(a.background->green) + "," + std::to_string(a.background->blue);
  }
  return out + " true colour " + (a.true_color ? (*a.true_color ? "yes" : "no") : "unknown");
}

void record_key_events(std::ofstream& log, int seconds) {
  for (auto const end = Clock::now() + std::chrono::seconds{seconds}; Clock::now() < end;) {
    auto const event = dalk::read(100);
    if (!event) {
      continue;
    }
    if (auto const* press = std::get_if<dalk::KeyPress>(&*event)) {
      log << "KeyPress " << static_cast<unsigned long>(press->key) << '\n';
    } else if (auto const* release = std::get_if<dalk::KeyRelease>(&*event)) {
      log << "KeyRelease " << static_cast<unsigned long>(release->key) << '\n';
    } else if (auto const* changed = std::get_if<dalk::AnswersChanged>(&*event)) {
      log << "AnswersChanged: " << describe(changed->answers) << '\n';
    } else {
      log << "other event " << event->index() << '\n';
    }
    log << std::flush;
  }
}

void probe_library(std::ofstream& log, std::string const& out, int seconds) {
  dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal,
                                        dalk::Signals::On, dalk::recommended_extensions);
  log << "answers at start: " << describe(dalk::terminal_answers()) << '\n'
      << "synchronized output " << (dalk::synchronized_output_confirmed() ? "on" : "off") << '\n'
      << std::flush;
  // The flags in force now come back as an answer, never as keys.
  dalk::write("\x1b[?u");
  dalk::flush();
  std::ofstream{out + ".ready"} << "ready\n";
  try {
    record_key_events(log, seconds);
  } catch (std::exception const&) {
    // The input ended or could not be read: leave with the terminal restored.
    dalk::uninitialize_terminal();
    throw;
  }
  dalk::uninitialize_terminal();
}

}  // namespace

int main(int argc, char** argv) try {
  std::vector<std::string> const args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "answers") {
    std::ofstream log{args[1]};
    probe_answers(log);
    return 0;
  }
  if (args.size() >= 4 && (args[0] == "keys" || args[0] == "title")) {
    std::ofstream log{args[2]};
    int const seconds = std::stoi(args[3]);
    if (args[0] == "keys") {
      probe_keys(log, args[1], args[2], seconds);
    } else {
      probe_title(log, args[1], args[2], seconds);
    }
    return 0;
  }
  if (args.size() >= 3 && args[0] == "library") {
    std::ofstream log{args[1]};
    probe_library(log, args[1], std::stoi(args[2]));
    return 0;
  }
  std::fputs(
      "usage: terminal_probe answers OUT | keys FLAGS OUT SECONDS | title TEXT OUT SECONDS | "
      "library OUT SECONDS\n",
      stderr);
  return 1;
} catch (std::exception const& error) {
  std::fprintf(stderr, "Error: %s\n", error.what());
  return 1;
}

// Measures how far the terminal it runs in advances the cursor over each width sample: writes
// "\r" and the sample as the library writes it (composed, one cluster after another), then reads
// the column back with a cursor position report. Also records the
// terminal's XTVERSION and DECRQM 2027 answers and, where mode 2027 (grapheme clusters) can be
// set, measures again with it set.
//   width_probe OUT
// OUT gets, one per line: "xtversion <bytes>", "decrqm2027 <bytes>", "mode2027 <value>", then
// "codepoints <index> <columns>" per sample and, if mode 2027 was set, "clusters <index>
// <columns>". Columns are -1 where no report came. OUT appears whole (written aside, renamed).
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include <dalk/text.hpp>
#include <dalk/transcode.hpp>

#include "width_samples.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds answer_limit{2000};

std::string escaped(std::string_view bytes) {
  std::string out;
  for (unsigned char const byte : bytes) {
    if (byte == 0x1b) {
      out += "\\e";
    } else if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      out += static_cast<char>(byte);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    }
  }
  return out;
}

// Whether `bytes` holds a whole primary device attributes answer ("\e[?...c").
bool has_device_attributes(std::string_view bytes) {
  for (auto start = bytes.find("\x1b[?"); start != std::string_view::npos;
       start = bytes.find("\x1b[?", start + 1)) {
    auto const end = bytes.find_first_not_of("0123456789;", start + 3);
    if (end != std::string_view::npos && bytes[end] == 'c')
      return true;
  }
  return false;
}

class RawTerminal {
 public:
  RawTerminal() : fd_{::open("/dev/tty", O_RDWR | O_NOCTTY)} {
    if (fd_ < 0 || ::tcgetattr(fd_, &saved_) != 0) {
      std::perror("width_probe: /dev/tty");
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

  // Reads until `done` holds for the bytes read so far, or for at most answer_limit.
  template <class Done>
  std::string read_until(Done done) const {
    std::string all;
    auto const deadline = Clock::now() + answer_limit;
    while (!done(all) && Clock::now() < deadline) {
      auto const left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, static_cast<int>(left.count()) + 1) <= 0)
        continue;
      char buffer[256];
      auto const got = ::read(fd_, buffer, sizeof buffer);
      if (got <= 0)
        break;
      all.append(buffer, static_cast<std::size_t>(got));
    }
    return all;
  }

  // Sends `query` followed by DA1, which every terminal answers, and returns all bytes up to and
  // including the DA1 answer: whatever came before it is the query's answer.
  std::string ask(std::string_view query) const {
    write(std::string{query} + "\x1b[c");
    return read_until(has_device_attributes);
  }

  // Columns the cursor moved over `text` from the left edge, or -1 without a report.
  int advance(std::string_view text) const {
    write("\r\x1b[2K" + std::string{text} + "\x1b[6n");
    auto const report = read_until([](std::string const& bytes) {
      auto const start = bytes.find("\x1b[");
      return start != std::string::npos && bytes.find('R', start) != std::string::npos;
    });
    auto const semicolon = report.find(';');
    if (semicolon == std::string::npos)
      return -1;
    return std::atoi(report.c_str() + semicolon + 1) - 1;
  }

 private:
  int fd_;
  termios saved_{};
};

// The bytes a frame holds for `sample`: its clusters' code points, composed.
std::string as_written(std::string_view sample) {
  std::u32string points;
  for (char32_t const symbol : dalk::text::drawable(sample)) {
    dalk::text::append_code_points(symbol, points);
  }
  return dalk::detail::u32_to_u8(points);
}

// The value v of a DECRQM answer "\e[?2027;<v>$y", or -1 without one.
int mode_value(std::string_view answer) {
  auto const start = answer.find("\x1b[?2027;");
  if (start == std::string_view::npos)
    return -1;
  return std::atoi(std::string{answer.substr(start + 8)}.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: width_probe OUT\n", stderr);
    return 2;
  }
  std::string const out = argv[1];
  std::ofstream log{out + ".part"};
  {
    RawTerminal const terminal;
    log << "xtversion " << escaped(terminal.ask("\x1b[>0q")) << '\n';
    auto const mode = terminal.ask("\x1b[?2027$p");
    log << "decrqm2027 " << escaped(mode) << '\n';
    auto const value = mode_value(mode);
    log << "mode2027 " << value << '\n';
    for (std::size_t i = 0; i < vennic::test::width_samples.size(); ++i)
      log << "codepoints " << i << ' '
          << terminal.advance(as_written(vennic::test::width_samples[i].utf8)) << '\n';
    if (value >= 1 && value <= 3) {
      terminal.write("\x1b[?2027h");
      for (std::size_t i = 0; i < vennic::test::width_samples.size(); ++i)
        log << "clusters " << i << ' '
            << terminal.advance(as_written(vennic::test::width_samples[i].utf8)) << '\n';
      if (value != 3)
        terminal.write("\x1b[?2027l");
    }
    terminal.write("\r\x1b[2K");
  }
  log.close();
  return std::rename((out + ".part").c_str(), out.c_str()) == 0 ? 0 : 1;
}

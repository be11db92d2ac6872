// The read functions on arbitrary bytes arriving on standard input. Standard input is the
// reading end of a packet socket pair (once per process), so that every read(2) returns exactly
// one of the pieces the input is cut into: sequences are cut across reads. Every piece is queued
// before reading starts, so a read never waits for a byte that is still to come; only at the
// pauses (after a piece ending in an escape byte, "\e[" or "\eO", at most a few per input) is the
// queue drained first, so that the escape wait runs out. After the input come an ST and a paste's
// closing bracket, so that no string or paste stays open (an open paste would stall for 500 ms),
// then Ctrl+A, which a blocking dalk::read() reads up to on some inputs.
// The first byte picks the extensions (bit 0 pastes, 1 focus, 2 kitty keys, 3 answers; signal
// keys never: they raise signals), the second the escape wait (bits 0-1: 0, 1, 2 or 5 ms), how
// often dalk::read(timeout) is called instead of detail::read_input (bits 2-3), a read time-out
// of 1 ms instead of 0 (bit 4), pauses (bit 5) and the blocking read at the end (bit 6).
// A crash, a sanitizer report, an event the byte stream cannot carry, a failed read, or an
// exception other than those dalk::read documents for undecodable input is a fault.
// What the read functions keep between inputs (the answers so far, bytes read and not yet fed
// when the end is not reached, the button of the latest mouse press, which a release that names
// none takes) carries over to the next input; the parser the reader is checked against starts
// from the same button.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <dalk/dalk.hpp>

#include "fuzz_input.hpp"

namespace {

// The socket queue holds a few hundred small packets; more pieces than this and the rest of the
// input is one piece.
constexpr std::size_t max_pieces = 96;
// Pausing costs the escape wait, or 100 ms where the pause cuts a sequence short.
constexpr int max_pauses = 2;
constexpr std::string_view closing = "\x1b\\\x1b[201~";
constexpr char sentinel = '\x01';

// What came out, in order: events (answers aside: whether one is news depends on those before)
// and undecodable input (nullopt).
using Outcomes = std::vector<std::optional<dalk::Event>>;

void record(Outcomes& outcomes, std::optional<dalk::Event> event) {
  if (!event || !std::holds_alternative<dalk::AnswersChanged>(*event)) {
    outcomes.push_back(std::move(event));
  }
}

// The same bytes fed to a parser directly, every byte there before the next is waited for. The
// parser first sees a press of the button the reader remembers; its event is dropped.
Outcomes decoded(std::string_view bytes, dalk::InputParser::Options options,
                 dalk::Mouse::Button pressed) {
  dalk::InputParser parser;
  parser.set_options(options);
  for (char const byte : "\x1b[<" + std::to_string(static_cast<int>(pressed)) + ";1;1M") {
    parser.feed(byte);
  }
  Outcomes outcomes;
  auto const take = [&outcomes](dalk::InputParser::Result result) {
    if (auto* event = std::get_if<dalk::Event>(&result)) {
      record(outcomes, std::move(*event));
    } else if (std::holds_alternative<dalk::Undecodable>(result)) {
      record(outcomes, std::nullopt);
    }
  };
  for (char const byte : bytes) {
    take(parser.feed(byte));
  }
  take(parser.wait_ran_out());
  return outcomes;
}

// The button of the last press among the outcomes, else `pressed`.
dalk::Mouse::Button last_pressed(Outcomes const& outcomes, dalk::Mouse::Button pressed) {
  for (auto const& outcome : outcomes) {
    if (auto const* press = outcome ? std::get_if<dalk::MousePress>(&*outcome) : nullptr) {
      pressed = press->mouse.button;
    }
  }
  return pressed;
}

// The writing end; standard input is the reading end.
int input_writer() {
  static int const writer = [] {
    int pair[2] = {-1, -1};
    require(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair) == 0);
    require(dup2(pair[0], 0) == 0);
    close(pair[0]);
    int const size = 4 << 20;
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    require(fcntl(pair[1], F_SETFL, O_NONBLOCK) == 0);
    return pair[1];
  }();
  return writer;
}

std::size_t queued() {
  int bytes = 0;
  require(ioctl(0, FIONREAD, &bytes) == 0);
  return static_cast<std::size_t>(bytes);
}

void check_thrown(std::exception_ptr const& error) {
  try {
    std::rethrow_exception(error);
  } catch (std::runtime_error const& e) {
    // Undecodable input throws "io ..."; a failed read or poll is a fault here.
    if (std::string_view{e.what()}.substr(0, 2) != "io") {
      std::fprintf(stderr, "thrown: %s\n", e.what());
      require(false);
    }
  } catch (std::invalid_argument const&) {
  } catch (std::out_of_range const&) {
  } catch (std::exception const& e) {
    std::fprintf(stderr, "thrown: %s\n", e.what());
    require(false);
  } catch (...) {
    require(false);
  }
}

class Session {
 public:
  Session(dalk::InputParser::Options options, std::uint8_t mode, std::uint32_t seed)
      : options_{options},
        through_read_{(mode >> 2) & 3U},
        timeout_{(mode & 0x10U) != 0 ? 1 : 0},
        random_{seed} {}

  // One read: what came out is checked and recorded; false when nothing came.
  bool step() { return step(timeout_); }
  bool step(int timeout) {
    random_ = random_ * 1664525U + 1013904223U;
    if ((random_ >> 30) < through_read_) {
      try {
        auto const event = dalk::read(timeout);
        if (event) {
          check(*event, options_);
          record(outcomes_, *event);
        }
        return event.has_value();
      } catch (...) {
        check_thrown(std::current_exception());
        record(outcomes_, std::nullopt);
        return true;
      }
    }
    dalk::detail::ReadResult result;
    try {
      result = dalk::detail::read_input(timeout);
    } catch (...) {
      // A failed read or poll: the socket never fails.
      check_thrown(std::current_exception());
      require(false);
    }
    require(!std::holds_alternative<dalk::detail::Interrupted>(result));
    if (auto const* event = std::get_if<dalk::Event>(&result)) {
      check(*event, options_);
      record(outcomes_, *event);
    } else if (auto const* undecodable = std::get_if<dalk::Undecodable>(&result)) {
      check(*undecodable);
      check_thrown(undecodable->error);
      record(outcomes_, std::nullopt);
    }
    return !std::holds_alternative<dalk::detail::NoEvent>(result);
  }

  // Reads until the queue is empty and the bytes read from it give nothing more: what is read
  // and not yet fed is the rest of the last piece, and each read feeds at least one byte.
  void drain(std::size_t last_piece) {
    std::size_t idle = 0;
    while (queued() > 0) {
      step();
    }
    while (idle <= last_piece) {
      idle = step(0) ? 0 : idle + 1;
    }
  }

  void send(std::string_view piece) {
    while (::send(input_writer(), piece.data(), piece.size(), MSG_DONTWAIT) < 0) {
      require(errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS);
      // The queue is full, so reading cannot run dry.
      step();
    }
  }

  Outcomes const& outcomes() const { return outcomes_; }

  // Reads with dalk::read() up to the sentinel's event.
  void read_to_sentinel() {
    dalk::InputParser parser;
    parser.set_options(options_);
    auto const expected = std::get<dalk::Event>(parser.feed(sentinel));
    for (;;) {
      try {
        auto const event = dalk::read();
        check(event, options_);
        record(outcomes_, event);
        if (event == expected) {
          return;
        }
      } catch (...) {
        check_thrown(std::current_exception());
        record(outcomes_, std::nullopt);
      }
    }
  }

 private:
  dalk::InputParser::Options options_;
  std::uint32_t through_read_;
  int timeout_;
  std::uint32_t random_;
  Outcomes outcomes_;
};

bool ends_an_escape(std::string_view piece) {
  return piece.ends_with('\x1b') || piece.ends_with("\x1b[") || piece.ends_with("\x1bO");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  input_writer();
  // What the reader's parser remembers from the inputs before.
  static dalk::Mouse::Button pressed = dalk::Mouse::Button::Left;
  Reader reader{data, size};
  unsigned const extensions = reader.byte();
  unsigned const mode = reader.byte();
  auto const bit = [extensions](unsigned n) { return ((extensions >> n) & 1U) != 0; };
  dalk::InputParser::Options const options{bit(0), bit(1), bit(2), false, bit(3)};
  dalk::detail::set_terminal_input_options(options);
  constexpr int escape_waits[] = {0, 1, 2, 5};
  dalk::set_escape_wait(std::chrono::milliseconds{escape_waits[mode & 3U]});
  std::uint32_t random = seed_of(data, size);
  Session session{options, static_cast<std::uint8_t>(mode), random};

  std::size_t const start = size < 2 ? size : 2;
  std::string_view const input{reinterpret_cast<char const*>(data) + start, size - start};
  std::size_t at = 0;
  int pauses = 0;
  for (std::size_t piece = 0; at < input.size(); ++piece) {
    random = random * 1664525U + 1013904223U;
    std::size_t length = 1 + (random >> 28);
    if (piece + 1 >= max_pieces || length > input.size() - at) {
      length = input.size() - at;
    }
    auto const bytes = input.substr(at, length);
    session.send(bytes);
    at += length;
    if ((mode & 0x20U) != 0 && pauses < max_pauses && ends_an_escape(bytes)) {
      ++pauses;
      session.drain(bytes.size());
    }
  }
  session.send(closing);
  bool const blocking = (mode & 0x40U) != 0;
  if (blocking) {
    session.send(std::string_view{&sentinel, 1});
    session.read_to_sentinel();
  }
  session.drain(closing.size());
  // Without pauses no wait runs out before the end: the reader must give what the parser does.
  if (pauses == 0) {
    std::string bytes{input};
    bytes += closing;
    if (blocking) {
      bytes += sentinel;
    }
    require(session.outcomes() == decoded(bytes, options, pressed));
  }
  pressed = last_pressed(session.outcomes(), pressed);
  return 0;
}

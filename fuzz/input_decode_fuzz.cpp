// The terminal byte parser on arbitrary bytes, fed directly. Each input runs four times: once
// with every byte already waiting and the wait running out only at the end, once with the wait
// also running out at points drawn from the input itself, once more so with every report of
// the terminal extensions decoded (the terminal's answers too when the first byte is odd, as
// an escape byte is), and once more so with the extensions the first byte's bits pick (bit 0
// answers, 1 pastes, 2 focus, 3 kitty keys, 4 signal keys). A crash, a sanitizer report, an
// event the byte stream cannot carry, an undecodable result without a standard exception, or a
// sequence that grows past the longest the parser accepts is a fault.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <variant>

#include <dalk/dalk.hpp>

#include "fuzz_input.hpp"

namespace {

// "\e[", 255 parameter bytes and a final byte; the 256th byte without one is given up.
constexpr std::size_t max_sequence_bytes = 2 + 256;

class Run {
 public:
  explicit Run(dalk::InputParser::Options options = {}) { parser_.set_options(options); }

  void feed(char byte) {
    // A paste has no bound of its own below max_paste_bytes; an OSC or DCS string is swallowed
    // up to its terminator, keeping at most max_string_bytes.
    require(++pending_bytes_ <= max_sequence_bytes || parser_.options().bracketed_paste ||
            parser_.options().terminal_answers);
    take(parser_.feed(byte));
  }

  void wait_ran_out() {
    bool const finishes = parser_.wait() == dalk::InputParser::Wait::AlreadyWaiting;
    auto const result = parser_.wait_ran_out();
    // A lone Escape or introducer always finishes as a key; elsewhere nothing changes.
    require(finishes == std::holds_alternative<dalk::Event>(result));
    take(result);
  }

 private:
  void take(dalk::InputParser::Result const& result) {
    if (auto const* event = std::get_if<dalk::Event>(&result)) {
      check(*event, parser_.options());
    } else if (auto const* undecodable = std::get_if<dalk::Undecodable>(&result)) {
      check(*undecodable);
    } else if (std::holds_alternative<dalk::InputParser::Signal>(result)) {
      require(parser_.options().signal_keys);
    } else if (std::holds_alternative<dalk::Answer>(result)) {
      require(parser_.options().terminal_answers);
    } else {
      // A sequence dropped without an event (a paste bracket) also ends what was pending.
      if (parser_.wait() == dalk::InputParser::Wait::Nothing) {
        pending_bytes_ = 0;
      }
      return;
    }
    // Escape, Escape: the second escape byte begins the next event.
    auto const* event = std::get_if<dalk::Event>(&result);
    bool const next_begun = event != nullptr &&
                            *event == dalk::Event{dalk::KeyPress{dalk::Key::Escape}} &&
                            parser_.wait() == dalk::InputParser::Wait::AlreadyWaiting;
    require(parser_.wait() == dalk::InputParser::Wait::Nothing || next_begun);
    pending_bytes_ = next_begun ? 1 : 0;
  }

  dalk::InputParser parser_;
  std::size_t pending_bytes_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  {
    Run all_waiting;
    for (std::size_t i = 0; i < size; ++i) {
      all_waiting.feed(static_cast<char>(data[i]));
    }
    all_waiting.wait_ran_out();
  }
  unsigned const first = size > 0 ? data[0] : 0U;
  auto const bit = [first](unsigned n) { return ((first >> n) & 1U) != 0; };
  for (dalk::InputParser::Options const options :
       {dalk::InputParser::Options{}, dalk::InputParser::Options{true, true, true, true, bit(0)},
        dalk::InputParser::Options{bit(1), bit(2), bit(3), bit(4), bit(0)}}) {
    Run with_pauses{options};
    std::uint32_t random = seed_of(data, size);
    for (std::size_t i = 0; i < size; ++i) {
      with_pauses.feed(static_cast<char>(data[i]));
      random = random * 1664525U + 1013904223U;
      if ((random >> 29) == 0) {
        with_pauses.wait_ran_out();
      }
    }
    with_pauses.wait_ran_out();
  }
  return 0;
}

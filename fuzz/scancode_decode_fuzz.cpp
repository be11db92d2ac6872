// The console scancode decoder on arbitrary bytes, fed directly, with the confirmation wait
// running out at points drawn from the input itself and at the end. A crash, a sanitizer
// report, an event other than a key press or release, a key value outside the console's, or an
// event that leaves a sequence open is a fault.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>

#include <dalk/dalk.hpp>

#include "fuzz_input.hpp"

namespace {

// Key values of the console path: the layout's code points and special keys, and the
// console-only range.
bool is_console_key(dalk::Key key) {
  auto const value = static_cast<char32_t>(key);
  return value <= 159 || (value >= 0x40000 && value <= 0x4002C);
}

void check(dalk::ScancodeDecoder const& decoder, std::optional<dalk::Event> const& event) {
  if (!event) {
    return;
  }
  if (auto const* press = std::get_if<dalk::KeyPress>(&*event)) {
    require(is_console_key(press->key));
  } else if (auto const* release = std::get_if<dalk::KeyRelease>(&*event)) {
    require(is_console_key(release->key));
  } else {
    require(false);
  }
  require(decoder.wait() == dalk::ScancodeDecoder::Wait::Nothing);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  dalk::ScancodeDecoder decoder;
  std::uint32_t random = seed_of(data, size);
  auto wait_ran_out = [&decoder] {
    auto const before = decoder.wait();
    check(decoder, decoder.wait_ran_out());
    // Only the confirmation wait ends a sequence.
    require(before == dalk::ScancodeDecoder::Wait::Confirmation
                ? decoder.wait() == dalk::ScancodeDecoder::Wait::Nothing
                : decoder.wait() == before);
  };
  for (std::size_t i = 0; i < size; ++i) {
    check(decoder, decoder.feed(data[i]));
    random = random * 1664525U + 1013904223U;
    if ((random >> 29) == 0) {
      wait_ran_out();
    }
  }
  wait_ran_out();
  return 0;
}

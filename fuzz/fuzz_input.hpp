// Helpers shared by the fuzz targets: reading structured values from the fuzzer's bytes,
// failing loudly (abort) when an invariant does not hold, and the invariants of decoded input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <variant>

#include <dalk/input_parser.hpp>
#include <dalk/io.hpp>

namespace {

// Names the failing line, so that a reproducer's report says which invariant broke.
[[maybe_unused]] void require(bool condition, unsigned line = __builtin_LINE()) {
  if (!condition) {
    std::fprintf(stderr, "requirement failed on line %u\n", line);
    std::abort();
  }
}

// FNV-1a of the input, so that waits drawn from it are the same for the same input.
inline std::uint32_t seed_of(std::uint8_t const* data, std::size_t size) {
  std::uint32_t hash = 2166136261U;
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ data[i]) * 16777619U;
  }
  return hash;
}

// A Resize never comes from the byte stream; nor do answers (they are no event); key releases,
// pastes and focus reports only with their extension.
[[maybe_unused]] void check(dalk::Event const& event, dalk::InputParser::Options const& options) {
  require(!std::holds_alternative<dalk::Resize>(event));
  require(options.kitty_keyboard || !std::holds_alternative<dalk::KeyRelease>(event));
  require(options.bracketed_paste || !std::holds_alternative<dalk::Paste>(event));
  require(options.focus_reports || !std::holds_alternative<dalk::Focus>(event));
  // Numbers from input stay in their bounds: a key is a code point, a cell -1 to 65534.
  if (auto const* press = std::get_if<dalk::KeyPress>(&event)) {
    require(dalk::strip_modifiers(press->key) <= dalk::key(0x10FFFF));
  }
  std::visit(
      [](auto const& e) {
        if constexpr (requires { e.mouse; }) {
          auto const at = e.mouse.at;
          require(at.x >= -1 && at.x <= 65534 && at.y >= -1 && at.y <= 65534);
        }
      },
      event);
}

// What dalk::read throws for undecodable input.
[[maybe_unused]] void check(dalk::Undecodable const& undecodable) {
  require(undecodable.error != nullptr);
  try {
    std::rethrow_exception(undecodable.error);
  } catch (std::runtime_error const&) {
  } catch (std::invalid_argument const&) {
  } catch (std::out_of_range const&) {
  } catch (...) {
    require(false);
  }
}

class Reader {
 public:
  Reader(std::uint8_t const* data, std::size_t size) : data_{data}, size_{size} {}
  bool more() const { return at_ < size_; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint32_t word(int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      value = (value << 8) | byte();
    }
    return value;
  }

 private:
  std::uint8_t const* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace

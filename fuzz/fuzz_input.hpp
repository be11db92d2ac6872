// Helpers shared by the fuzz targets: reading structured values from the fuzzer's bytes, and
// failing loudly (abort) when an invariant does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

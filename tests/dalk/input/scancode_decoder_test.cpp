// The console scancode decoder fed plain byte strings: no console, no waiting. Input is given in
// chunks; the bytes of one chunk come together, and after each chunk the confirmation wait runs
// out. Every sequence that ends gives one outcome: its event, or "none".
#include <gtest/gtest.h>

#include <cstdio>
#include <dalk/dalk.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using dalk::Key;
using dalk::ScancodeDecoder;

namespace {

std::string hex(unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", value);
  return buffer;
}

std::string press(Key key) {
  return "press " + hex(static_cast<unsigned>(key));
}
std::string press(char32_t value) {
  return press(dalk::key(value));
}
std::string release(Key key) {
  return "release " + hex(static_cast<unsigned>(key));
}
std::string release(char32_t value) {
  return release(dalk::key(value));
}
constexpr char const* none = "none";

void record(ScancodeDecoder const& decoder, std::optional<dalk::Event> const& event,
            std::vector<std::string>& out) {
  if (event) {
    if (auto const* p = std::get_if<dalk::KeyPress>(&*event)) {
      out.push_back(press(p->key));
    } else if (auto const* r = std::get_if<dalk::KeyRelease>(&*event)) {
      out.push_back(release(r->key));
    } else {
      out.emplace_back("other event");
    }
  } else if (decoder.wait() == ScancodeDecoder::Wait::Nothing) {
    out.emplace_back(none);
  }
}

std::vector<std::string> decode(std::vector<std::string> const& chunks) {
  ScancodeDecoder decoder;
  std::vector<std::string> out;
  for (std::string const& chunk : chunks) {
    for (char const byte : chunk) {
      record(decoder, decoder.feed(static_cast<unsigned char>(byte)), out);
    }
    if (decoder.wait() == ScancodeDecoder::Wait::Confirmation) {
      record(decoder, decoder.wait_ran_out(), out);
    } else {
      // Elsewhere the wait running out changes nothing.
      auto const before = decoder.wait();
      EXPECT_FALSE(decoder.wait_ran_out().has_value());
      EXPECT_EQ(decoder.wait(), before);
    }
  }
  return out;
}

std::string dump(std::vector<std::string> const& chunks) {
  std::string out;
  for (auto const& chunk : chunks) {
    for (char const b : chunk) {
      out += hex(static_cast<unsigned char>(b)) + " ";
    }
    out += "| ";
  }
  return out;
}

struct Case {
  std::vector<std::string> chunks;
  std::vector<std::string> outcomes;
};

void expect_all(std::vector<Case> const& cases) {
  for (auto const& c : cases) {
    EXPECT_EQ(decode(c.chunks), c.outcomes) << dump(c.chunks);
  }
}

// Bytes from numbers, so that none of them is taken for part of an escape.
template <typename... Bytes>
std::string bytes(Bytes... b) {
  return std::string{static_cast<char>(b)...};
}

}  // namespace

TEST(ScancodeDecoderTest, SingleByteCodes) {
  expect_all({
      {{"\x1e"}, {press(U'a')}},
      {{"\x9e"}, {release(U'a')}},
      {{"\x01"}, {press(27)}},
      {{"\x2a"}, {press(Key::LeftShift)}},
      {{"\x57"}, {press(Key::F11)}},
      {{"\x56"}, {press(0)}},
      {{"\xd6"}, {release(0)}},
      {{"\x54"}, {press(Key::SysRq)}},
      {{"\xd4"}, {release(Key::SysRq)}},
      {{"\x1e\x9e\x2a"}, {press(U'a'), release(U'a'), press(Key::LeftShift)}},
  });
  // The controller's bytes; 0xAA is also the release of left Shift.
  for (unsigned char const b : {0x00, 0xAA, 0xEE, 0xF1, 0xFA, 0xFC, 0xFD, 0xFE, 0xFF}) {
    EXPECT_EQ(decode({bytes(b, 0x1E)}), (std::vector<std::string>{none, press(U'a')})) << hex(b);
  }
}

TEST(ScancodeDecoderTest, TwoByteCodes) {
  expect_all({
      // The arrows take the terminal values.
      {{"\xe0\x48"}, {press(Key::ArrowUp)}},
      {{"\xe0\xc8"}, {release(Key::ArrowUp)}},
      {{"\xe0\x4b"}, {press(Key::ArrowLeft)}},
      {{"\xe0\xcd"}, {release(Key::ArrowRight)}},
      {{"\xe0\x50"}, {press(Key::ArrowDown)}},
      // The rest from the two-byte table, after 0xE0 or 0xE1.
      {{"\xe0\x1d"}, {press(Key::RightControl)}},
      {{"\xe0\x9d"}, {release(Key::RightControl)}},
      {{"\xe0\x38"}, {press(Key::RightAlt)}},
      {{"\xe0\x1c"}, {press(Key::KeypadEnter)}},
      {{"\xe0\x47"}, {press(Key::ExtendedHome)}},
      {{"\xe0\xd3"}, {release(Key::ExtendedDelete)}},
      {{"\xe0\x35"}, {press(0)}},
      {{"\xe1\x36"}, {press(0x40021)}},
      {{"\xe1\x9d"}, {release(Key::RightControl)}},
      {{"\xe1\x53"}, {press(Key::ExtendedDelete)}},
      // Outside the table: nothing, and exactly the two bytes are taken.
      {{bytes(0xE0, 0x00, 0x10)}, {none, press(U'q')}},
      {{"\xe0\xe0\x10"}, {none, press(U'q')}},
      {{"\xe1\xff\x10"}, {none, press(U'q')}},
      // The byte after a prefix is waited for as long as it takes.
      {{"\xe0", "\x48"}, {press(Key::ArrowUp)}},
      {{"\xe1", "\x1d\x45\xe1\x9d\xc5"}, {press(Key::Pause)}},
  });
}

// Keyboards wrap the navigation keys in "fake" Shifts (E0 2A, E0 AA; E0 36, E0 B6 for the
// right one): they give nothing and take nothing of the key behind them.
TEST(ScancodeDecoderTest, FakeShifts) {
  expect_all({
      {{"\xe0\x2a\xe0\x47"}, {press(Key::ExtendedHome)}},
      {{"\xe0\xc7\xe0\xaa"}, {release(Key::ExtendedHome), none}},
      {{"\xe0\xaa\xe0\x52"}, {press(Key::ExtendedInsert)}},
      {{"\xe0\xb6\xe0\x53"}, {none, press(Key::ExtendedDelete)}},
      {{"\xe0\xd3\xe0\x36"}, {release(Key::ExtendedDelete), none}},
      {{"\xe0\x2a\xe0\x48"}, {press(Key::ArrowUp)}},
      {{"\xe0\x2a\x1e"}, {press(U'a')}},
      {{"\xe0\xaa\x9e"}, {release(U'a')}},
      {{"\xe0\xc7\xe0\xaa\x1e"}, {release(Key::ExtendedHome), press(U'a')}},
      {{"\xe0\xd2\xe0\x2a\xe0\x50"}, {release(Key::ExtendedInsert), press(Key::ArrowDown)}},
      {{"\xe0\xaa\xe1\x1d\x45\xe1\x9d\xc5"}, {press(Key::Pause)}},
      {{"\xe0\x2a\xe0\x2a\xe0\x1d"}, {press(Key::RightControl)}},
  });
}

TEST(ScancodeDecoderTest, PrintScreenPauseAndBreak) {
  expect_all({
      {{"\xe0\x2a\xe0\x37"}, {press(Key::PrintScreen)}},
      {{"\xe0\xaa\xe0\xb7"}, {release(Key::PrintScreen)}},
      {{"\xe0\x37"}, {press(0x4000E)}},
      {{"\xe0\xb7"}, {release(0x4000E)}},
      {{"\xe0\xb7\xe0\xaa"}, {release(0x4000E), none}},
      {{"\xe0\x2a\xe0\xb7"}, {release(0x4000E)}},
      {{"\xe0\xaa\xe0\x37"}, {press(0x4000E)}},
      {{"\xe1\x1d\x45\xe1\x9d\xc5"}, {press(Key::Pause)}},
      {{"\xe0\x46\xe0\xc6"}, {press(Key::Break)}},
      // A broken Break gives nothing, a broken Pause the two-byte code E1 1D; the byte that
      // does not fit is taken too.
      {{"\xe0\x46\x1e"}, {none}},
      {{"\xe0\x46\xe0\x1e"}, {none}},
      {{"\xe1\x1d\x1e"}, {press(Key::RightControl)}},
      {{"\xe1\x1d\x45\x1e"}, {press(Key::RightControl)}},
      {{"\xe1\x1d\x45\xe1\x1e"}, {press(Key::RightControl)}},
      {{"\xe1\x1d\x45\xe1\x9d\x1e"}, {press(Key::RightControl)}},
  });
}

// Bytes that only confirm a longer sequence are waited for briefly; a sequence cut off there
// ends with what it had, and later bytes are keys of their own.
TEST(ScancodeDecoderTest, ConfirmationWaitRunningOut) {
  std::vector<std::string> const cut_off[] = {
      {"\xe0\x2a"},     {"\xe0\xaa"}, {"\xe0\x2a\xe0"},
      {"\xe0\xaa\xe0"}, {"\xe0\x46"}, {"\xe0\x46\xe0"},
  };
  for (auto const& chunks : cut_off) {
    auto with_next = chunks;
    with_next.emplace_back("\xe0\x47");
    EXPECT_EQ(decode(with_next), (std::vector<std::string>{none, press(Key::ExtendedHome)}))
        << dump(chunks);
  }
  expect_all({
      {{"\xe1\x1d", "\x1e"}, {press(Key::RightControl), press(U'a')}},
      {{"\xe1\x1d\x45\xe1", "\x9d"}, {press(Key::RightControl), release(Key::LeftControl)}},
  });
}

TEST(ScancodeDecoderTest, WaitSaysHowToWaitForTheNextByte) {
  using W = ScancodeDecoder::Wait;
  struct Case {
    std::string_view bytes;
    W wait;
  };
  Case const cases[] = {
      {"", W::Nothing},
      {"\x1e", W::Nothing},
      {"\xe0", W::NextByte},
      {"\xe1", W::NextByte},
      {"\xe0\x2a", W::Confirmation},
      {"\xe0\xaa\xe0", W::Confirmation},
      {"\xe0\x46", W::Confirmation},
      {"\xe1\x1d\x45\xe1\x9d", W::Confirmation},
      {"\xe1\x1d\x45\xe1\x9d\xc5", W::Nothing},
  };
  for (auto const& c : cases) {
    ScancodeDecoder decoder;
    for (char const b : c.bytes) {
      decoder.feed(static_cast<unsigned char>(b));
    }
    EXPECT_EQ(decoder.wait(), c.wait) << c.bytes.size();
  }
}

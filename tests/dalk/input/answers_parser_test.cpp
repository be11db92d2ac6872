// The terminal's answers to queries as the byte parser reads them, and how they add up to the
// TerminalAnswers value. Bytes are fed one at a time, as a slow link would deliver them.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstddef>
#include <dalk/dalk.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

using dalk::InputParser;
using dalk::ModeReport;
using dalk::TerminalAnswers;
using dalk::TrueColor;
namespace answer = dalk::answer;

namespace {

constexpr InputParser::Options with_answers{.terminal_answers = true};
constexpr InputParser::Options with_answers_and_kitty{.kitty_keyboard = true,
                                                      .terminal_answers = true};

struct Row {
  std::string bytes;
  dalk::Answer answer;
};

std::vector<Row> const answer_rows = {
    {"\x1b[?62;22c", answer::DeviceAttributes{{62, 22}}},
    {"\x1b[?62;c", answer::DeviceAttributes{{62}}},
    {"\x1b[?1;2c", answer::DeviceAttributes{{1, 2}}},
    {"\x1b[?2026;0$y", answer::Mode{2026, ModeReport::NotRecognized}},
    {"\x1b[?2026;1$y", answer::Mode{2026, ModeReport::Set}},
    {"\x1b[?2026;2$y", answer::Mode{2026, ModeReport::Reset}},
    {"\x1b[?2004;3$y", answer::Mode{2004, ModeReport::PermanentlySet}},
    {"\x1b[?1004;4$y", answer::Mode{1004, ModeReport::PermanentlyReset}},
    {"\x1b[?7u", answer::KittyFlags{7}},
    {"\x1bP>|kitty(0.26.5)\x1b\\", answer::Version{"kitty(0.26.5)"}},
    {"\x1bP>|\x1b\\", answer::Version{""}},
    {"\x1bP1+r524742=382F382F38\x1b\\", answer::Capability{"RGB", true}},
    {"\x1bP1+r5463\x1b\\", answer::Capability{"Tc", true}},
    {"\x1bP0+r5463\x1b\\", answer::Capability{"Tc", false}},
    {"\x1b]11;rgb:1e1e/1e1e/2e2e\x1b\\", answer::DynamicColor{11, TrueColor{0x1E, 0x1E, 0x2E}}},
    {"\x1b]10;rgb:f/80/abc\a", answer::DynamicColor{10, TrueColor{0xFF, 0x80, 0xAB}}},
};

// Everything but the "nothing yet" results of feeding bytes one at a time.
std::vector<InputParser::Result> feed(InputParser& parser, std::string_view bytes) {
  std::vector<InputParser::Result> results;
  for (char const byte : bytes) {
    if (auto result = parser.feed(byte); !std::holds_alternative<std::monostate>(result)) {
      results.push_back(std::move(result));
    }
  }
  return results;
}

// The one answer or event among results; empty for anything else.
template <typename T>
std::optional<T> only(std::vector<InputParser::Result> const& results) {
  if (results.size() != 1 || !std::holds_alternative<T>(results[0])) {
    return std::nullopt;
  }
  return std::get<T>(results[0]);
}

bool is_key_or_text(InputParser::Result const& result) {
  auto const* event = std::get_if<dalk::Event>(&result);
  return event != nullptr && (std::holds_alternative<dalk::KeyPress>(*event) ||
                              std::holds_alternative<dalk::Paste>(*event));
}

TEST(AnswersParserTest, EachAnswerByteByByte) {
  for (auto const options : {with_answers, with_answers_and_kitty}) {
    for (Row const& row : answer_rows) {
      InputParser parser;
      parser.set_options(options);
      for (std::size_t i = 0; i + 1 < row.bytes.size(); ++i) {
        EXPECT_TRUE(std::holds_alternative<std::monostate>(parser.feed(row.bytes[i])));
        EXPECT_NE(parser.wait(), InputParser::Wait::Nothing) << row.bytes.substr(1);
      }
      auto const result = parser.feed(row.bytes.back());
      auto const* answer = std::get_if<dalk::Answer>(&result);
      ASSERT_NE(answer, nullptr) << row.bytes.substr(1);
      EXPECT_EQ(*answer, row.answer) << row.bytes.substr(1);
      EXPECT_EQ(parser.wait(), InputParser::Wait::Nothing);
    }
  }
}

// Cut after each byte, then the wait runs out (after an escape or introducer) or the reader
// drops the unfinished sequence. Only the first one or two bytes can become a key, as they
// would from the keyboard: a lone Escape, or Escape plus the introducer's byte (with Alt, where
// the escape prefix gives it). A following key comes through unharmed.
TEST(AnswersParserTest, AnAnswerCutShortIsNeverAKey) {
  for (Row const& row : answer_rows) {
    for (std::size_t size = 1; size < row.bytes.size(); ++size) {
      InputParser parser;
      parser.set_options(with_answers);
      auto results = feed(parser, row.bytes.substr(0, size));
      if (parser.wait() == InputParser::Wait::AlreadyWaiting) {
        results.push_back(parser.wait_ran_out());
      } else {
        parser.reset();
      }
      for (auto const& result : results) {
        if (!is_key_or_text(result)) {
          continue;
        }
        auto const key = std::get<dalk::KeyPress>(std::get<dalk::Event>(result)).key;
        auto const plain = static_cast<char32_t>(key) & ~static_cast<char32_t>(dalk::Mod::Alt);
        EXPECT_TRUE(size == 1 ? key == dalk::Key::Escape
                              : size == 2 && plain == static_cast<unsigned char>(row.bytes[1]))
            << row.bytes.substr(1, size - 1);
      }
      auto const after = feed(parser, "x");
      ASSERT_EQ(after.size(), 1U);
      EXPECT_EQ(std::get<dalk::Event>(after[0]), dalk::Event{dalk::KeyPress{dalk::key(U'x')}});
    }
  }
}

TEST(AnswersParserTest, AnEmptyStringIntroducerIsAltWithItsKey) {
  for (std::string_view const introducer : {"\x1b]", "\x1bP"}) {
    InputParser parser;
    parser.set_options(with_answers);
    EXPECT_TRUE(feed(parser, introducer).empty());
    EXPECT_EQ(parser.wait(), InputParser::Wait::AlreadyWaiting);
    std::vector<InputParser::Result> const ran_out{parser.wait_ran_out()};
    auto const alt_key = dalk::key(static_cast<unsigned char>(introducer[1])) | dalk::Mod::Alt;
    EXPECT_EQ(only<dalk::Event>(ran_out), dalk::Event{dalk::KeyPress{alt_key}});
  }
}

// Malformed answers, unknown strings and numbers out of range are dropped: no event, no answer.
TEST(AnswersParserTest, GarbageIsDropped) {
  std::string const at_the_bound(InputParser::max_string_bytes - 2, 'v');
  std::vector<std::string> const garbage{"\x1b[?99999999999999999999c",
                                         "\x1b[?65536c",
                                         "\x1b[?c",
                                         "\x1b[?2026;5$y",
                                         "\x1b[?2026$y",
                                         "\x1b[?-1u",
                                         "\x1b[?1;2u",
                                         "\x1b[?u",
                                         "\x1bP1+r52474=38\x1b\\",
                                         "\x1bP1+r5G=38\x1b\\",
                                         "\x1bP1+r524742=3\x1b\\",
                                         "\x1bP0+r5463=31\x1b\\",
                                         "\x1bP0+r\x1b\\",
                                         "\x1bP$r0m\x1b\\",
                                         "\x1b]11;rgb:1e1e/1e1e\x1b\\",
                                         "\x1b]11;rgb:12345/0/0\a",
                                         "\x1b]11;rgb:/0/0\a",
                                         "\x1b]11;rgb:xx/0/0\a",
                                         "\x1b]11;#ffffff\a",
                                         "\x1b]12;rgb:0/0/0\a",
                                         "\x1b]11\a",
                                         "\x1b]99999999999999999999;rgb:0/0/0\a",
                                         "\x1b]0;title\a",
                                         "\x1bP>|v" + at_the_bound + "\x1b\\"};
  for (std::string const& bytes : garbage) {
    InputParser parser;
    parser.set_options(with_answers_and_kitty);
    for (auto const& result : feed(parser, bytes)) {
      EXPECT_TRUE(std::holds_alternative<dalk::Undecodable>(result)) << bytes.substr(1, 40);
    }
    EXPECT_EQ(parser.wait(), InputParser::Wait::Nothing) << bytes.substr(1, 40);
  }
  InputParser parser;
  parser.set_options(with_answers);
  EXPECT_EQ(only<dalk::Answer>(feed(parser, "\x1bP>|" + at_the_bound + "\x1b\\")),
            dalk::Answer{answer::Version{at_the_bound}});
  // An escape inside a string ends it: the string is dropped, the escape starts a sequence.
  for (std::string_view const bytes : {"\x1b]11;rgb:0/0/0\x1b[A", "\x1bP>|x\x1b\x1b[A"}) {
    EXPECT_EQ(only<dalk::Event>(feed(parser, bytes)),
              dalk::Event{dalk::KeyPress{dalk::Key::ArrowUp}});
  }
}

// A megabyte without a terminator is swallowed, not kept, until its terminator (BEL ends only
// an OSC string).
TEST(AnswersParserTest, AnOversizedStringIsBoundedAndDropped) {
  for (auto const& [start, filler] : {std::pair{"\x1b]11;", std::string_view{"a"}},
                                      std::pair{"\x1bP>|", std::string_view{"a\a"}}}) {
    InputParser parser;
    parser.set_options(with_answers);
    EXPECT_TRUE(feed(parser, start).empty());
    auto const in_use_before = mallinfo2().uordblks;
    bool nothing_came = true;
    for (std::size_t i = 0; i < (std::size_t{1} << 20U); ++i) {
      nothing_came &=
          std::holds_alternative<std::monostate>(parser.feed(filler[i % filler.size()]));
    }
    EXPECT_TRUE(nothing_came);
    EXPECT_EQ(parser.wait(), InputParser::Wait::Unfinished);
    EXPECT_LT(mallinfo2().uordblks, in_use_before + 2 * InputParser::max_string_bytes);
    EXPECT_TRUE(feed(parser, "\x1b\\").empty());
    EXPECT_EQ(only<dalk::Answer>(feed(parser, "\x1b[?7u")), dalk::Answer{answer::KittyFlags{7}});
  }
}

// Without the option no answer is read: strings are Escape-plus-key and keys, the control
// sequences undecodable, as for any terminal not asked.
TEST(AnswersParserTest, WithoutTheOptionNothingIsAnAnswer) {
  for (auto const options :
       {InputParser::Options{}, InputParser::Options{.kitty_keyboard = true}}) {
    for (Row const& row : answer_rows) {
      InputParser parser;
      parser.set_options(options);
      auto const results = feed(parser, row.bytes);
      for (auto const& result : results) {
        EXPECT_FALSE(std::holds_alternative<dalk::Answer>(result)) << row.bytes.substr(1);
      }
      EXPECT_EQ(row.bytes[1] == '[',
                results.size() == 1 && std::holds_alternative<dalk::Undecodable>(results[0]))
          << row.bytes.substr(1);
    }
  }
}

TerminalAnswers merged(std::vector<dalk::Answer> const& answers) {
  TerminalAnswers all;
  for (auto const& one : answers) {
    all.merge(one);
  }
  return all;
}

TEST(AnswersParserTest, AnswersMerge) {
  TerminalAnswers expected;
  expected.fenced = true;
  expected.device_attributes = {62, 22};
  expected.version = "XTerm(379)";
  expected.synchronized_output = ModeReport::Set;
  expected.grapheme_clusters = ModeReport::NotRecognized;
  expected.bracketed_paste = ModeReport::Reset;
  expected.focus_reports = ModeReport::PermanentlySet;
  expected.kitty_keyboard_flags = 0;
  expected.foreground = TrueColor{1, 2, 3};
  expected.background = TrueColor{4, 5, 6};
  expected.true_color = true;
  EXPECT_EQ(
      merged({answer::Version{"XTerm(379)"}, answer::Mode{2026, ModeReport::Set},
              answer::Mode{2027, ModeReport::NotRecognized}, answer::Mode{2004, ModeReport::Reset},
              answer::Mode{1004, ModeReport::PermanentlySet}, answer::Mode{25, ModeReport::Set},
              answer::KittyFlags{0}, answer::DynamicColor{10, TrueColor{1, 2, 3}},
              answer::DynamicColor{11, TrueColor{4, 5, 6}},
              answer::DynamicColor{12, TrueColor{7, 8, 9}}, answer::Capability{"Tc", false},
              answer::Capability{"RGB", true}, answer::Capability{"Tc", false},
              answer::Capability{"colors", true}, answer::DeviceAttributes{{62, 22}}}),
      expected);
  struct TrueColorRow {
    std::vector<dalk::Answer> answers;
    std::optional<bool> true_color;
  };
  for (auto const& row : std::vector<TrueColorRow>{
           {{}, std::nullopt},
           {{answer::Capability{"colors", true}}, std::nullopt},
           {{answer::Capability{"RGB", false}}, false},
           {{answer::Capability{"RGB", false}, answer::Capability{"Tc", true}}, true},
       }) {
    EXPECT_EQ(merged(row.answers).true_color, row.true_color);
  }
  // Perceived brightness below mid grey.
  for (auto const& [background, dark] :
       std::vector<std::pair<TrueColor, bool>>{{{0x1E, 0x1E, 0x2E}, true},
                                               {{127, 127, 127}, true},
                                               {{128, 128, 128}, false},
                                               {{0, 0, 255}, true},
                                               {{0, 255, 0}, false},
                                               {{255, 255, 255}, false}}) {
    EXPECT_EQ(merged({answer::DynamicColor{11, background}}).dark_background(), dark);
  }
  EXPECT_EQ(TerminalAnswers{}.dark_background(), std::nullopt);
}

}  // namespace

// Tables of reads through dalk::read: bytes written to an input, then what each following read
// gives, as short text (an event, "none", or the exception's exact type and message) so that a
// failure shows what came instead. Every read is bounded.
#pragma once

#include <dalk/dalk.hpp>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vennic::test {

/// An event as short text: "press 0x61", "release 0x61", "mouse press 9,4 button 0 shift",
/// "resize 80x24".
std::string describe(dalk::Event const& event);
std::string press(dalk::Key key);
std::string release(dalk::Key key);
inline std::string press(char32_t value) {
  return press(dalk::key(value));
}
inline std::string release(char32_t value) {
  return release(dalk::key(value));
}
inline constexpr char const* none = "none";

/// What one read gave: its event, "none", or "type: message" for the exception it threw
/// (the type alone for the number conversion's invalid_argument and out_of_range).
std::string outcome_of(std::function<std::optional<dalk::Event>()> const& read);

struct ReadCase {
  std::string bytes;
  std::vector<std::string> outcomes;  // one read each
  bool blocking = false;              // dalk::read() instead of dalk::read(1000)
};

/// For each case: writes its bytes, reads once per outcome (each read must return within a
/// few seconds), then expects every byte of descriptor read_end to have been read.
void expect_reads(std::vector<ReadCase> const& cases,
                  std::function<void(std::string_view)> const& write, int read_end);

/// Whether descriptor fd has nothing waiting to be read.
bool drained(int fd);

/// Runs body in a child; the test fails if any expectation inside the child failed.
void expect_in_child(std::function<void()> const& body);

}  // namespace vennic::test

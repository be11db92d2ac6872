#include "dalk/answers.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <mutex>
#include <optional>
#include <string_view>

#include "dalk/session/answer_store.hpp"

namespace dalk {
namespace {

// Milliseconds; read by the input thread while the application may set them.
std::atomic<long> answer_wait_ms{150};
std::atomic<long> escape_wait_ms{50};

std::chrono::milliseconds at_least_zero(std::chrono::milliseconds wait) {
  return wait.count() < 0 ? std::chrono::milliseconds{0} : wait;
}

// What the terminal of the current session answered. Process-wide, as the terminal is: the
// input thread records, the application reads from any thread.
struct AnswerRecord {
  std::mutex mutex;
  TerminalAnswers answers;
  // Start-up is reading the answers itself: no events for them.
  bool waiting = false;
  // answers.true_color == true, for the commit of every frame without the lock.
  std::atomic<bool> true_color{false};
};

// Never destroyed: the input thread may still record while the statics are destroyed at exit.
AnswerRecord& record = *new AnswerRecord;

// The name and the version numbers of an XTVERSION text: "kitty(0.26.5)" gives "kitty" and
// 0, 26, 5; "tmux 3.3a" gives "tmux" and 3, 3.
struct NamedVersion {
  std::string_view name;
  unsigned numbers[3] = {0, 0, 0};
};

NamedVersion split_version(std::string_view text) {
  NamedVersion version;
  std::size_t const end = text.find_first_of("( ");
  version.name = text.substr(0, end);
  if (end == std::string_view::npos) {
    return version;
  }
  char const* at = text.data() + end + 1;
  char const* const last = text.data() + text.size();
  for (unsigned& number : version.numbers) {
    auto const [next, error] = std::from_chars(at, last, number);
    if (error != std::errc{} || next == last || *next != '.') {
      break;
    }
    at = next + 1;
  }
  return version;
}

// Terminals that have shown true colour and mode 2026 for years: kitty 0.26.5 answers that it
// lacks the "RGB" and "Tc" capabilities, and a lost mode report must not cost the frames.
bool is_known_modern(std::string_view version) {
  constexpr std::string_view known[] = {"kitty", "WezTerm", "foot", "contour"};
  std::string_view const name = split_version(version).name;
  return std::find(std::begin(known), std::end(known), name) != std::end(known);
}

bool older_than(NamedVersion const& version, unsigned major, unsigned minor) {
  return version.numbers[0] < major || (version.numbers[0] == major && version.numbers[1] < minor);
}

}  // namespace

void set_answer_wait(std::chrono::milliseconds wait) {
  answer_wait_ms.store(static_cast<long>(at_least_zero(wait).count()));
}

std::chrono::milliseconds answer_wait() {
  return std::chrono::milliseconds{answer_wait_ms.load()};
}

void set_escape_wait(std::chrono::milliseconds wait) {
  escape_wait_ms.store(static_cast<long>(at_least_zero(wait).count()));
}

std::chrono::milliseconds escape_wait() {
  return std::chrono::milliseconds{escape_wait_ms.load()};
}

TerminalAnswers terminal_answers() {
  std::lock_guard const lock{record.mutex};
  return record.answers;
}

bool answered_true_color() {
  return record.true_color.load(std::memory_order_relaxed);
}

std::optional<TerminalAnswers> detail::record_answer(Answer const& answer) {
  std::lock_guard const lock{record.mutex};
  TerminalAnswers const before = record.answers;
  record.answers.merge(answer);
  record.true_color.store(
      record.answers.true_color == true || is_known_modern(record.answers.version),
      std::memory_order_relaxed);
  if (record.waiting || record.answers == before) {
    return std::nullopt;
  }
  return record.answers;
}

void detail::begin_answer_wait() {
  std::lock_guard const lock{record.mutex};
  record.answers = {};
  record.true_color.store(false, std::memory_order_relaxed);
  record.waiting = true;
}

void detail::end_answer_wait() {
  std::lock_guard const lock{record.mutex};
  record.waiting = false;
}

// Flags 1 (escape codes disambiguated), 2 (event types: repeats and releases) and 4 (the
// shifted key beside the unshifted one). Kitty before 0.28 reports the release of Tab, Enter
// and Backspace as their legacy byte, which reads as a second press: there flag 2 stays off.
std::optional<unsigned> detail::kitty_flags_for(TerminalAnswers const& answers) {
  if (!answers.kitty_keyboard_flags) {
    return std::nullopt;
  }
  NamedVersion const version = split_version(answers.version);
  if (version.name == "kitty" && older_than(version, 0, 28)) {
    return 1U | 4U;
  }
  return 1U | 2U | 4U;
}

text::WidthModel width_model_for(TerminalAnswers const& answers) {
  if (has_mode(answers.grapheme_clusters) &&
      answers.grapheme_clusters != ModeReport::PermanentlyReset) {
    return text::WidthModel::Clusters;
  }
  std::string_view const name = split_version(answers.version).name;
  if (name == "kitty") {
    return text::WidthModel::KittyCodePoints;
  }
  if (name == "tmux") {
    return text::WidthModel::TmuxCodePoints;
  }
  return text::WidthModel::CodePoints;
}

bool detail::has_synchronized_output(TerminalAnswers const& answers) {
  return has_mode(answers.synchronized_output) || is_known_modern(answers.version);
}

}  // namespace dalk

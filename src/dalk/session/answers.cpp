#include "dalk/answers.hpp"

#include "dalk/session/answer_store.hpp"

#include <atomic>
#include <chrono>
#include <optional>

namespace dalk {
namespace {

// Milliseconds; read by the input thread while the application may set them.
std::atomic<long> answer_wait_ms{150};
std::atomic<long> escape_wait_ms{50};

std::chrono::milliseconds at_least_zero(std::chrono::milliseconds wait) {
  return wait.count() < 0 ? std::chrono::milliseconds{0} : wait;
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

std::optional<TerminalAnswers> detail::record_answer(Answer const& /*answer*/) {
  return std::nullopt;
}

}  // namespace dalk

// Between the input decoder and the session: answers read from the terminal go to the session's
// record, and events read while start-up waits for answers go back to the reader.
#pragma once

#include <optional>

#include "dalk/answers.hpp"
#include "dalk/io.hpp"

namespace dalk::detail {

/// Takes an answer the decoder read into the session's record. Returns the whole record when it
/// changed and should reach the application as an AnswersChanged event (after start-up).
std::optional<TerminalAnswers> record_answer(Answer const& answer);

/// An event read while start-up waited for answers: the reader gives it out again, before
/// reading anything new. Input thread (or the initializing thread before it starts).
void put_back(Event event);

}  // namespace dalk::detail

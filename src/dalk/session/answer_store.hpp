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

/// Forgets the previous session's answers; until end_answer_wait() answers change the record
/// without an event (start-up reads them itself).
void begin_answer_wait();
/// From now on an answer that changes the record comes out as an AnswersChanged event.
void end_answer_wait();

/// The kitty keyboard flags the session pushes for these answers; none where the terminal did
/// not report the protocol.
std::optional<unsigned> kitty_flags_for(TerminalAnswers const& answers);

/// Whether the terminal has synchronized output: it reported mode 2026, or its name is one of
/// the terminals known to have it.
bool has_synchronized_output(TerminalAnswers const& answers);

}  // namespace dalk::detail

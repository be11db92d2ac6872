// The window title and the cursor shape an application set, and how every way of restoring the
// terminal puts them back: uninitialize_terminal() and the signal handlers, which get their
// bytes prepared in advance, as they may not allocate.
#pragma once

#include <string>

namespace dalk::detail {

/// The bytes that put back what set(CursorShape) and set_title() changed ("\e[0 q", then
/// "\e[23;0t"), empty when they changed nothing; forgets the changes, so that the next title
/// saves the terminal's again.
std::string take_appearance_restoration();

/// Gives the handlers the bytes for the latest set(CursorShape) and set_title(); called once
/// their bytes are out (at the end of an OrderedWrite).
void publish_appearance_changes();

/// Async-signal-safe: writes the bytes take_appearance_restoration() would return, forgetting
/// nothing.
void write_appearance_restoration_from_signal();

/// Async-signal-safe: writes what sets the changes again after a stop: the title saved and set,
/// then the cursor shape.
void write_appearance_reentry_from_signal();

}  // namespace dalk::detail

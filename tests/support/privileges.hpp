// Giving up root before anything asks for the console keyboard: as root a real console may be
// attached, and switching its keyboard to raw scancodes would take it from the person at it.
#pragma once

namespace vennic::test {

/// Exit status of a child that found a console device it can open after giving up root.
inline constexpr int console_reachable_status = 77;
/// Exit status of a child that could not give up root.
inline constexpr int still_root_status = 78;

/// Gives up root for good (user and group nobody, 65534); false if that did not work.
bool drop_root();

/// Whether a console device can be opened by this process.
bool console_reachable();

}  // namespace vennic::test

// What terminals answer to the questions a session with Extension::TerminalAnswers asks at
// start-up, for a test that plays the terminal (PtyChild::reply_to_queries).
#pragma once

#include <string_view>

namespace vennic::test {

/// The questions, as start-up writes them: the device attributes request comes last.
inline constexpr std::string_view start_up_queries =
    "\x1b[>0q\x1b[?2026$p\x1b[?2027$p\x1b[?2004$p\x1b[?1004$p\x1b[?u"
    "\x1b]10;?\x1b\\\x1b]11;?\x1b\\\x1bP+q524742\x1b\\\x1bP+q5463\x1b\\\x1b[c";

/// xterm 379: no synchronized output, no kitty keyboard, neither RGB nor Tc.
inline constexpr std::string_view xterm_replies =
    "\x1bP>|XTerm(379)\x1b\\\x1b[?2026;0$y\x1b[?2027;0$y\x1b[?2004;2$y\x1b[?1004;2$y"
    "\x1b]10;rgb:0000/0000/0000\x1b\\\x1b]11;rgb:ffff/ffff/dddd\x1b\\"
    "\x1bP0+r524742\x1b\\\x1bP0+r5463\x1b\\\x1b[?64;1;2;6;9;15;16;17;18;21;22;28c";

/// kitty 0.26.5 as it answered under Xvfb, whose key releases of Tab, Enter and Backspace come
/// as legacy bytes; its device attributes end in an empty field.
inline constexpr std::string_view kitty_0_26_replies =
    "\x1bP>|kitty(0.26.5)\x1b\\\x1b[?2026;2$y\x1b[?2027;0$y\x1b[?2004;2$y\x1b[?1004;2$y"
    "\x1b[?0u\x1b]10;rgb:dddd/dddd/dddd\x1b\\\x1b]11;rgb:0000/0000/0000\x1b\\"
    "\x1bP0+r524742\x1b\\\x1bP0+r5463\x1b\\\x1b[?62;c";

/// A later kitty, which reports every key once with all the flags the session asks for.
inline constexpr std::string_view kitty_replies =
    "\x1bP>|kitty(0.35.2)\x1b\\\x1b[?2026;2$y\x1b[?2027;2$y\x1b[?2004;2$y\x1b[?1004;2$y"
    "\x1b[?0u\x1bP1+r524742=382F382F38\x1b\\\x1b[?62;22c";

/// tmux 3.3a answers its name and the device attributes, and nothing else.
inline constexpr std::string_view tmux_replies = "\x1bP>|tmux 3.3a\x1b\\\x1b[?1;2c";

}  // namespace vennic::test

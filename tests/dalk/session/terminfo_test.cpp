// TERM and COLORTERM are read once when the library loads, so every case runs the probe
// program in a fresh process with exactly the environment it names.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/process.hpp"

namespace {

std::string const not_found = "color_palette_size threw: find_terminfo(): term_name not found.\n";

// With change_environment the probe sets TERM and COLORTERM itself before asking anything.
std::string probe(std::vector<std::string> const& environment, bool change_environment = false) {
  std::vector<std::string> arguments{"terminfo"};
  if (change_environment) {
    arguments.emplace_back("--setenv");
  }
  auto const result = vennic::test::run_program(VENNIC_PROBE, arguments, environment);
  EXPECT_TRUE(result.exited && result.exit_status == 0) << result.output;
  return result.output;
}

std::string answers(std::string const& term, std::string const& palette_line, bool true_color) {
  return "TERM_var=" + term + "\n" + palette_line + palette_line +
         "has_true_color=" + (true_color ? "true" : "false") + "\n";
}

std::string palette(int size) {
  return "color_palette_size=" + std::to_string(size) + "\n";
}

}  // namespace

TEST(TerminfoTest, Xterm256ColorHasTrueColorWhateverColorterm) {
  EXPECT_EQ(probe({"TERM=xterm-256color"}), answers("xterm-256color", palette(256), true));
  EXPECT_EQ(probe({"TERM=xterm-256color", "COLORTERM=nonsense"}),
            answers("xterm-256color", palette(256), true));
  EXPECT_EQ(probe({"TERM=st-256color"}), answers("st-256color", palette(256), true));
}

TEST(TerminfoTest, ColortermAnnouncesTrueColor) {
  EXPECT_EQ(probe({"TERM=xterm"}), answers("xterm", palette(8), false));
  EXPECT_EQ(probe({"TERM=xterm", "COLORTERM=truecolor"}), answers("xterm", palette(8), true));
  EXPECT_EQ(probe({"TERM=xterm", "COLORTERM=24bit"}), answers("xterm", palette(8), true));
}

TEST(TerminfoTest, OnlyTheExactColortermValuesCount) {
  for (char const* value : {"TrueColor", "24-bit", "truecolor ", "", "yes"}) {
    EXPECT_EQ(probe({"TERM=xterm", std::string{"COLORTERM="} + value}),
              answers("xterm", palette(8), false))
        << value;
  }
}

TEST(TerminfoTest, DirectColourTermsAreNotTakenForTrueColor) {
  EXPECT_EQ(probe({"TERM=xterm-direct"}), answers("xterm-direct", palette(256), false));
  EXPECT_EQ(probe({"TERM=tmux-256color"}), answers("tmux-256color", palette(256), false));
}

TEST(TerminfoTest, PaletteSizesOfEachClass) {
  EXPECT_EQ(probe({"TERM=rxvt-unicode"}), answers("rxvt-unicode", palette(88), false));
  EXPECT_EQ(probe({"TERM=screen-16color"}), answers("screen-16color", palette(16), false));
  EXPECT_EQ(probe({"TERM=linux"}), answers("linux", palette(8), false));
}

TEST(TerminfoTest, NamesAreComparedExactly) {
  EXPECT_EQ(probe({"TERM=XTERM-256COLOR"}), answers("XTERM-256COLOR", not_found, false));
  EXPECT_EQ(probe({"TERM=xterm-256colour"}), answers("xterm-256colour", not_found, false));
  EXPECT_EQ(probe({"TERM=xterm-256color "}), answers("xterm-256color ", not_found, false));
  EXPECT_EQ(probe({"TERM=foo", "COLORTERM=truecolor"}), answers("foo", not_found, true));
}

TEST(TerminfoTest, UnsetTermFailsEveryCallAndTrueColorComesFromColortermAlone) {
  EXPECT_EQ(probe({}), answers("", not_found, false));
  EXPECT_EQ(probe({"COLORTERM=truecolor"}), answers("", not_found, true));
  EXPECT_EQ(probe({"COLORTERM=24bit"}), answers("", not_found, true));
  EXPECT_EQ(probe({"TERM="}), answers("", not_found, false));
}

TEST(TerminfoTest, EnvironmentChangesAfterLoadAreNotSeen) {
  EXPECT_EQ(probe({"TERM=xterm"}, true), answers("xterm", palette(8), false));
  EXPECT_EQ(probe({}, true), answers("", not_found, false));
}

TEST(TerminfoTest, EveryKnownTerminalHasItsPaletteSize) {
  struct Group {
    int colors;
    std::string names;  // separated by spaces
  };
  Group const table[] = {
      {256,
       "xterm-256color tmux-256color putty-256color vte-256color konsole-256color kitty "
       "xterm-kitty Apple_Terminal rxvt-unicode-256color rxvt-256color xterm-direct2 "
       "xterm-direct screen.konsole-256color screen-256color screen.vte-256color "
       "stterm-256color screen.mlterm-256color screen.putty-256color screen.xterm-256color "
       "st-256color gnome-256color Eterm-256color nsterm nsterm-256color alacritty"},
      {88, "rxvt-unicode xterm-88color Eterm-88color rxvt-88color"},
      {16, "xterm-16color st-16color stterm-16color screen-16color rxvt-16color"},
      {8,
       "tmux cygwin putty linux konsole teraterm2.3 teraterm xterm-xf86-v40 xterm-noapp "
       "xterm-24 xterm-r5 xterm-xf86-v33 xterm-hp xterm-x11hilite xterm-xf86-v44 xterm-pcolor "
       "xterm-xfree86 xterm-xf86-v333 xterm-xf86-v43 xterm-xi xterm-sun xterm-1005 xterm-utf8 "
       "xterm-1006 xterm-x10mouse xterm-1002 xterm-8bit xterm-vt220 xterm xterm-bold "
       "xterm-color xterm-r6 xterms xterm-old xterm-x11mouse xfce xterm-new xterm-sco "
       "xterm-mono xterm-nic xterm-1003 xterm-vt52 xterm-basic xterm-xf86-v32 screen.Eterm "
       "screen.linux screen.putty screen.xterm-r6 sun1 sun2 screen.vte screen.gnome "
       "screen.xterm-new screen.konsole st screen screen.rxvt screen.teraterm "
       "screen.xterm-xfree86 stterm screen.mlterm screen.mrxvt sun mach mach-bold mlterm "
       "mach-color mach-gnu mach-gnu-color mrxvt gnome Eterm-color Eterm dumb rxvt-cygwin "
       "rxvt-color rxvt rxvt-basic rxvt-xpm rxvt-cygwin-native nxterm aterm ansis ansi "
       "ansi80x25 hurd kon2 kon vt100-nav vs100 vt52 vt200 vte vwmterm vt100-am vt102 vt100 "
       "vt220 jfbterm eterm-color eterm wsvt25m wsvt25 pcansi bterm cons25"},
  };
  std::size_t count = 0;
  for (auto const& group : table) {
    std::istringstream names{group.names};
    std::string name;
    while (names >> name) {
      bool const true_color = name == "xterm-256color" || name == "st-256color";
      EXPECT_EQ(probe({"TERM=" + name}), answers(name, palette(group.colors), true_color));
      ++count;
    }
  }
  EXPECT_EQ(count, 140U);
}

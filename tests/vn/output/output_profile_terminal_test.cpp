// The output extensions change what the terminal object writes on a pseudo-terminal; without
// them it writes exactly what the default commit writes. Each session runs in a child process.
#include <gtest/gtest.h>

#include <string>

#include <dalk/output_profile.hpp>
#include <vn/vn.hpp>

#include "support/process.hpp"
#include "support/pty.hpp"

namespace {

using vennic::test::PtyChild;

dalk::Area const area{20, 3};

void paint_frame() {
  vn::Terminal::changes.resize(area);
  vn::Terminal::changes.fill(dalk::Glyph{});
  dalk::Brush const red{dalk::TrueColor{255, 0, 0}, dalk::XColor::Default, {}};
  std::u32string_view const text{U"hello"};
  for (std::size_t i = 0; i < text.size(); ++i) {
    vn::Terminal::changes.glyphs[static_cast<std::size_t>(area.width) + 2 + i] =
        dalk::Glyph{text[i], red};
  }
  vn::Terminal::cursor.reset();
}

std::string session_output(bool with_extensions, dalk::Extensions extensions) {
  auto child = PtyChild::start(
      [with_extensions, extensions] {
        auto terminal = with_extensions ? vn::Terminal{extensions} : vn::Terminal{};
        paint_frame();
        terminal.commit_changes();
        return 0;
      },
      area.width, area.height);
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited && status.exit_status == 0);
  return child.output();
}

TEST(OutputProfileTerminalTest, ExtensionsChangeTheBytesAndTheirAbsenceDoesNot) {
  vn::ScreenBuffer mirror;
  std::string buffer;
  paint_frame();
  std::string const specified =
      vennic::test::capture_stdout([&] { vn::detail::commit_changes(mirror, buffer); });
  ASSERT_NE(specified.find("\x1b[48;2;255;0;0m"), std::string::npos);

  std::string const plain = session_output(false, {});
  EXPECT_NE(plain.find(specified), std::string::npos);

  std::string const compact =
      session_output(true, dalk::Extension::CompactOutput | dalk::Extension::Colors256);
  EXPECT_EQ(compact.find(specified), std::string::npos);
  EXPECT_EQ(compact.find("48;2;"), std::string::npos);
  EXPECT_EQ(compact.find("22;23;24;25;27;28;29"), std::string::npos);
  EXPECT_NE(compact.find("\x1b[2;3H\x1b[48;5;196mhello\x1b[m"), std::string::npos);
}

}  // namespace

// A terminal emulator for tests: libvterm fed with the bytes a program writes, read back as rows
// of text, cells with their attributes and colours, and the cursor. Paired with PtyChild, it lets
// a test look at a whole program's screen as a person would.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <dalk/sequence.hpp>

#include "support/pty.hpp"

struct VTerm;
struct VTermScreen;

namespace vennic::test {

/// A colour as the emulator keeps it.
struct ScreenColor {
  enum class Kind { Default, Indexed, Rgb };
  Kind kind = Kind::Default;
  int index = 0;          // for Indexed
  dalk::TrueColor rgb{};  // for Rgb
  friend bool operator==(ScreenColor const&, ScreenColor const&) = default;
};

/// One cell of the emulated screen. An empty cell reads as a space. A character two columns
/// wide is the cell it starts in (width 2); the cell right of it has width 0 and reads as a
/// space.
struct ScreenCell {
  char32_t symbol = U' ';
  int width = 1;
  bool bold = false;
  bool italic = false;
  bool reverse = false;
  ScreenColor foreground;
  ScreenColor background;
};

/// A libvterm screen (UTF-8, alternate screen enabled) of a fixed size until resized.
class VtermScreen {
 public:
  VtermScreen(int columns, int rows);
  VtermScreen(VtermScreen const&) = delete;
  VtermScreen& operator=(VtermScreen const&) = delete;
  ~VtermScreen();

  /// Changes the emulator's size, as a terminal window would.
  void resize(int columns, int rows);
  /// Interprets bytes written to the terminal.
  void feed(std::string_view bytes);
  /// Feeds the part of `output` (everything a program wrote so far) not fed yet.
  void follow(std::string const& output);

  int columns() const { return columns_; }
  int rows() const { return rows_; }
  ScreenCell cell(int x, int y) const;
  /// Row y as UTF-8 text, trailing blanks included; a wide character reads once.
  std::string row(int y) const;
  /// Every row, each followed by a line feed.
  std::string text() const;
  /// The cell where text first starts (row by row), if it is on the screen within one row.
  std::optional<dalk::Point> find(std::string_view text) const;
  bool contains(std::string_view text) const { return find(text).has_value(); }
  dalk::Point cursor() const;
  bool cursor_visible() const;

 private:
  // The emulator's callbacks and the terminal properties they record.
  struct State;

  // The characters of row y and the column each starts in.
  std::u32string row32(int y, std::vector<int>* columns = nullptr) const;

  VTerm* vterm_ = nullptr;
  VTermScreen* screen_ = nullptr;
  std::unique_ptr<State> state_;
  int columns_;
  int rows_;
  std::size_t followed_ = 0;
};

/// Reads what the child writes into the screen until condition() holds or limit has passed;
/// returns the last value of condition().
bool wait_for_screen(PtyChild& child, VtermScreen& screen, std::function<bool()> const& condition,
                     std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace vennic::test

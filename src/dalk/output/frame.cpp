// The envelope of a frame, the same for every encoding of the commit.
#include <optional>
#include <string_view>

#include "dalk/output/frame_writer.hpp"
#include "dalk/terminal.hpp"

namespace dalk::detail {

bool write_frame(std::string_view body, std::optional<Point> cursor, bool synchronized,
                 std::optional<ShownCursor> shown) {
  bool const state_everything = !shown;
  bool hidden = shown && shown->visible == false;
  if (shown && body.empty() && shown->visible == cursor.has_value() &&
      (!cursor || shown->at == cursor)) {
    return false;
  }
  if (synchronized) {
    write(std::string_view{"\x1b[?2026h"});
  }
  if (state_everything || (!body.empty() && !hidden)) {
    set(CursorMode::Hide);
    hidden = true;
  }
  write(body);
  if (cursor) {
    if (state_everything || hidden) {
      set(CursorMode::Show);
    }
    if (state_everything || shown->at != cursor) {
      write(escape(*cursor));
    }
  } else if (state_everything || !hidden) {
    set(CursorMode::Hide);
  }
  if (synchronized) {
    write(std::string_view{"\x1b[?2026l"});
  }
  flush();
  return true;
}

}  // namespace dalk::detail

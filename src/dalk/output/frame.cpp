// The envelope of a frame, the same for every encoding of the commit.
#include <optional>
#include <string_view>

#include "dalk/output/frame_writer.hpp"
#include "dalk/session/extension_protocols.hpp"
#include "dalk/session/terminal_internal.hpp"
#include "dalk/terminal.hpp"

namespace dalk::detail {
namespace {

constexpr ExtensionProtocol const& synchronized_output = protocol(Extension::SynchronizedOutput);

}  // namespace

bool write_frame(std::string_view body, std::optional<Point> cursor, bool synchronized,
                 std::optional<ShownCursor> shown) {
  bool const state_everything = !shown;
  bool hidden = shown && shown->visible == false;
  if (shown && body.empty() && shown->visible == cursor.has_value() &&
      (!cursor || shown->at == cursor)) {
    return false;
  }
  // From the first byte to the flush no handler writes (signals that arrive meanwhile are
  // acted on right after it), so the restoration never lands inside a frame.
  OrderedWrite const ordered;
  if (synchronized) {
    note_synchronized_frame();
    write(synchronized_output.on);
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
    write(synchronized_output.off);
  }
  flush();
  return true;
}

}  // namespace dalk::detail

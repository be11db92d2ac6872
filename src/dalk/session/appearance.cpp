#include "dalk/session/appearance.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "dalk/sequence.hpp"
#include "dalk/session/signal_bytes.hpp"
#include "dalk/terminal.hpp"
#include "dalk/transcode.hpp"

namespace dalk {
namespace {

using detail::SignalBytes;

std::string const save_title = "\x1b[22;0t";
std::string const restore_title = "\x1b[23;0t";
std::string const default_cursor_shape = "\x1b[0 q";

std::string shape_sequence(CursorShape shape) {
  return "\x1b[" + std::to_string(static_cast<int>(shape)) + " q";
}

std::string title_sequence(std::string_view title) {
  return "\x1b]2;" + std::string{title} + "\x1b\\";
}

// A control character inside the title would end the sequence early or act on its own.
std::string clean_title(std::string_view title) {
  std::string const well_formed = detail::to_well_formed_u8(title);
  std::string out;
  for (std::size_t at = 0; at < well_formed.size(); ++at) {
    auto const byte = static_cast<unsigned char>(well_formed[at]);
    if (byte < 0x20 || byte == 0x7f) {
      continue;
    }
    // U+0080 to U+009F, the C1 controls, are 0xC2 followed by 0x80 to 0x9F.
    if (byte == 0xc2 && at + 1 < well_formed.size() &&
        static_cast<unsigned char>(well_formed[at + 1]) < 0xa0) {
      ++at;
      continue;
    }
    out += static_cast<char>(byte);
  }
  return out;
}

// What the application changed; written by the thread that writes to the terminal.
std::optional<CursorShape> shape_set;
// The latest title, once the terminal's own was saved.
std::optional<std::string> title_set;

// The bytes for the handlers.
constexpr std::size_t prepared_size = 1024;
SignalBytes<prepared_size> prepared;

void publish() {
  std::string restore;
  std::string reenter;
  if (shape_set) {
    restore += default_cursor_shape;
  }
  if (title_set) {
    restore += restore_title;
    // A title too long for the buffer is cut at a character boundary, and still terminated.
    std::string_view title = *title_set;
    std::size_t const room = prepared_size - 32;
    if (title.size() > room) {
      std::size_t end = room;
      while (end > 0 && (static_cast<unsigned char>(title[end]) & 0xc0U) == 0x80U) {
        --end;
      }
      title = title.substr(0, end);
    }
    reenter += save_title + title_sequence(title);
  }
  if (shape_set) {
    reenter += shape_sequence(*shape_set);
  }
  prepared.publish(restore, reenter);
}

// The handlers' bytes change once these bytes are out (publish_appearance_changes()): a
// restoration before then would pop a title not yet pushed.
bool unpublished = false;

}  // namespace

void set(CursorShape shape) {
  write(shape_sequence(shape));
  shape_set = shape;
  unpublished = true;
}

void set_title(std::string_view title) {
  if (!title_set) {
    write(save_title);
  }
  title_set = clean_title(title);
  write(title_sequence(*title_set));
  unpublished = true;
}

namespace detail {

void publish_appearance_changes() {
  if (unpublished) {
    unpublished = false;
    publish();
  }
}

std::string take_appearance_restoration() {
  std::string restore;
  if (shape_set) {
    restore += default_cursor_shape;
  }
  if (title_set) {
    restore += restore_title;
  }
  if (!restore.empty()) {
    shape_set.reset();
    title_set.reset();
    unpublished = false;
    publish();
  }
  return restore;
}

void write_appearance_restoration_from_signal() {
  write_all_from_signal(prepared.restore());
}

void write_appearance_reentry_from_signal() {
  write_all_from_signal(prepared.reenter());
}

}  // namespace detail
}  // namespace dalk

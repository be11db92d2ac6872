// A bare libvterm screen for tests that compare cells as the emulator keeps them (characters,
// attributes, colours), such as the commit tests replaying written bytes.
#pragma once

#include <vterm.h>

#include <algorithm>
#include <memory>
#include <string_view>

#include <dalk/sequence.hpp>

namespace vennic::test {

/// The most parameters any SGR sequence ("\e[...m") of `bytes` carries; libvterm overruns its
/// array past 16.
inline int most_sgr_parameters(std::string_view bytes) {
  int most = 0;
  for (auto start = bytes.find("\x1b["); start != std::string_view::npos;
       start = bytes.find("\x1b[", start + 1)) {
    auto const end = bytes.find_first_not_of("0123456789:;<=>?", start + 2);
    if (end != std::string_view::npos && bytes[end] == 'm') {
      auto const parameters = bytes.substr(start + 2, end - start - 2);
      most = std::max(most,
                      static_cast<int>(std::count(parameters.begin(), parameters.end(), ';')) + 1);
    }
  }
  return most;
}

/// libvterm (UTF-8, no alternate screen) of a fixed size until resized; cells read raw.
class VtermEmulator {
 public:
  explicit VtermEmulator(dalk::Area area);
  VtermEmulator(VtermEmulator const&) = delete;
  VtermEmulator& operator=(VtermEmulator const&) = delete;

  void resize(dalk::Area area);
  void feed(std::string_view bytes);
  /// The cell as libvterm keeps it: an erased cell holds character 0.
  VTermScreenCell cell(int x, int y) const;
  dalk::Point cursor() const;
  bool cursor_visible() const { return cursor_visible_; }

 private:
  static int set_property(VTermProp property, VTermValue* value, void* user);

  std::unique_ptr<VTerm, decltype(&vterm_free)> vterm_;
  VTermScreen* screen_ = nullptr;
  VTermScreenCallbacks callbacks_{};
  bool cursor_visible_ = true;
};

}  // namespace vennic::test

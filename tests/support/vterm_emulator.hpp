// A bare libvterm screen for tests that compare cells as the emulator keeps them (characters,
// attributes, colours), such as the commit tests replaying written bytes.
#pragma once

#include <vterm.h>

#include <memory>
#include <string_view>

#include <dalk/sequence.hpp>

namespace vennic::test {

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

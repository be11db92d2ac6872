#include "support/vterm_emulator.hpp"

namespace vennic::test {

VtermEmulator::VtermEmulator(dalk::Area area)
    : vterm_{vterm_new(area.height, area.width), &vterm_free} {
  vterm_set_utf8(vterm_.get(), 1);
  screen_ = vterm_obtain_screen(vterm_.get());
  callbacks_.settermprop = &VtermEmulator::set_property;
  vterm_screen_set_callbacks(screen_, &callbacks_, this);
  vterm_screen_reset(screen_, 1);
}

void VtermEmulator::resize(dalk::Area area) {
  vterm_set_size(vterm_.get(), area.height, area.width);
}

void VtermEmulator::feed(std::string_view bytes) {
  vterm_input_write(vterm_.get(), bytes.data(), bytes.size());
  vterm_screen_flush_damage(screen_);
}

VTermScreenCell VtermEmulator::cell(int x, int y) const {
  VTermScreenCell cell{};
  vterm_screen_get_cell(screen_, VTermPos{y, x}, &cell);
  return cell;
}

dalk::Point VtermEmulator::cursor() const {
  VTermPos pos{};
  vterm_state_get_cursorpos(vterm_obtain_state(vterm_.get()), &pos);
  return {pos.col, pos.row};
}

int VtermEmulator::set_property(VTermProp property, VTermValue* value, void* user) {
  if (property == VTERM_PROP_CURSORVISIBLE) {
    static_cast<VtermEmulator*>(user)->cursor_visible_ = value->boolean != 0;
  }
  return 1;
}

}  // namespace vennic::test

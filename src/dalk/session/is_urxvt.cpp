#include "dalk/is_urxvt.hpp"

namespace dalk::detail {

bool is_urxvt(std::string_view term) {
  return term.find("rxvt-unicode") != std::string_view::npos;
}

}  // namespace dalk::detail

// rxvt-unicode reports the mouse in its own decimal encoding instead of SGR.
#pragma once

#include <string_view>

namespace dalk::detail {

/// True when term contains "rxvt-unicode".
bool is_urxvt(std::string_view term);

}  // namespace dalk::detail

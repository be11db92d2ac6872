#include "vn/align.hpp"

namespace vn {

int find_align_offset(Align align, int width, int length) {
  switch (align) {
    case Align::Left:
      return 0;
    case Align::Center:
      return (width - length) / 2;
    case Align::Right:
      return width - length;
  }
  return 0;
}

}  // namespace vn

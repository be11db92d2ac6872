#include "vn/layout.hpp"

#include <vector>

#include "vn/label.hpp"

namespace vn {

// The library's own instantiations: the data table's heading row, and the distribution over
// the generator that get_children() returns.
template class Row<std::vector<Label>>;
template std::vector<int> detail::distribute_length(lum::Generator<Widget&>&& children, int total);

}  // namespace vn

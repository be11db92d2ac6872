#include "dalk/cluster.hpp"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "dalk/sequence.hpp"
#include "dalk/text/break_iterator.hpp"
#include "dalk/text/width_properties.hpp"
#include "dalk/width.hpp"

namespace dalk::text {
namespace {

constexpr char32_t replacement = U'\uFFFD';

std::atomic<WidthModel> model_in_force{WidthModel::CodePoints};

// A cluster symbol: 0x40000000, a generation that changes whenever its slot is reused, and the
// slot.
constexpr unsigned slot_bits = 16;
constexpr unsigned generation_bits = 14;
constexpr std::uint32_t slot_mask = (1U << slot_bits) - 1;
constexpr std::uint32_t generation_mask = (1U << generation_bits) - 1;
static_assert(max_interned_clusters == std::size_t{1} << slot_bits);

char32_t make_symbol(std::uint32_t slot, std::uint32_t generation) {
  return 0x40000000U | (generation << slot_bits) | slot;
}

constexpr std::size_t model_count = 4;

// The cells of each slot's cluster under each model, read without the store's lock on every
// measurement: a slot's cells change only when it is reused, when every symbol naming it reads
// as U+FFFD anyway.
std::array<std::array<std::atomic<std::uint8_t>, model_count>, max_interned_clusters> slot_cells{};

struct Slot {
  std::array<char32_t, max_cluster_size> points{};
  std::uint8_t size = 0;
  std::uint16_t generation = 0;
  bool used = false;
  // The last frame that drew it.
  std::uint64_t frame = 0;

  std::u32string_view view() const { return {points.data(), size}; }
};

// Slots live in chunks that never move, so that the index can key on views of them.
constexpr std::size_t chunk_slots = 1024;
using Chunk = std::array<Slot, chunk_slots>;

class Store {
 public:
  char32_t intern(std::u32string_view cluster) {
    std::lock_guard const lock{mutex_};
    std::uint64_t const now = frame_.load(std::memory_order_relaxed);
    if (auto const found = index_.find(cluster); found != index_.end()) {
      Slot& slot = at(found->second);
      slot.frame = now;
      return make_symbol(found->second, slot.generation);
    }
    std::uint32_t number = 0;
    if (!take_slot(now, number)) {
      return replacement;
    }
    Slot& slot = at(number);
    std::copy(cluster.begin(), cluster.end(), slot.points.begin());
    slot.size = static_cast<std::uint8_t>(cluster.size());
    slot.used = true;
    slot.frame = now;
    index_.emplace(slot.view(), number);
    for (std::size_t model = 0; model < model_count; ++model) {
      int const cells = cluster_cells(cluster, static_cast<WidthModel>(model));
      slot_cells[number][model].store(static_cast<std::uint8_t>(std::min(cells, 255)),
                                      std::memory_order_relaxed);
    }
    return make_symbol(number, slot.generation);
  }

  void append(char32_t symbol, std::u32string& out) {
    std::uint32_t const number = symbol & slot_mask;
    std::uint32_t const generation = (symbol >> slot_bits) & generation_mask;
    std::lock_guard const lock{mutex_};
    if (number < allocated_ && at(number).used && at(number).generation == generation) {
      out += at(number).view();
    } else {
      out += replacement;
    }
  }

  void next_frame() { frame_.fetch_add(1, std::memory_order_relaxed); }

 private:
  Slot& at(std::uint32_t number) { return (*chunks_[number / chunk_slots])[number % chunk_slots]; }

  bool take_slot(std::uint64_t now, std::uint32_t& number) {
    if (free_.empty() && allocated_ < max_interned_clusters) {
      if (allocated_ % chunk_slots == 0) {
        chunks_.push_back(std::make_unique<Chunk>());
      }
      number = allocated_++;
      return true;
    }
    if (free_.empty() && swept_at_ != now) {
      sweep(now);
    }
    if (free_.empty()) {
      return false;
    }
    number = free_.back();
    free_.pop_back();
    return true;
  }

  // Releases the clusters neither this frame nor the last one drew: the screen's mirror holds
  // only those, and their symbols stay distinct from any reuse of the slot.
  void sweep(std::uint64_t now) {
    swept_at_ = now;
    for (std::uint32_t number = 0; number < allocated_; ++number) {
      Slot& slot = at(number);
      if (slot.used && slot.frame + 1 < now) {
        index_.erase(slot.view());
        slot.used = false;
        slot.generation = static_cast<std::uint16_t>((slot.generation + 1U) & generation_mask);
        free_.push_back(number);
      }
    }
  }

  std::mutex mutex_;
  std::vector<std::unique_ptr<Chunk>> chunks_;
  std::unordered_map<std::u32string_view, std::uint32_t> index_;
  std::vector<std::uint32_t> free_;
  std::uint32_t allocated_ = 0;
  std::uint64_t swept_at_ = ~std::uint64_t{0};
  std::atomic<std::uint64_t> frame_{1};
};

Store& store() {
  static Store instance;
  return instance;
}

bool is_control(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool is_regional_indicator(char32_t c) {
  return c >= 0x1F1E6 && c <= 0x1F1FF;
}

// Cells of a code point to kitty without mode 2027, from ICU's properties: marks of every kind
// (spacing vowel signs too) and format characters take none, wide and emoji presentation
// characters two, the rest one (Hangul vowel and final jamo too).
int kitty_width_from_icu(char32_t c) {
  auto const code = static_cast<UChar32>(c);
  switch (u_charType(code)) {
    case U_CONTROL_CHAR:
    case U_SURROGATE:
      return 1;
    case U_NON_SPACING_MARK:
    case U_COMBINING_SPACING_MARK:
    case U_ENCLOSING_MARK:
    case U_FORMAT_CHAR:
      return 0;
    default:
      break;
  }
  return dalk::detail::property_width(code);
}

// Higher planes than the table's go to ICU on each call; the table is built when kitty is first
// measured.
int kitty_width(char32_t c) {
  if (c > 0x10FFFF) {
    return 1;
  }
  if (c >= dalk::detail::PackedWidths::end) {
    return kitty_width_from_icu(c);
  }
  static dalk::detail::PackedWidths const table{kitty_width_from_icu};
  return table[c];
}

}  // namespace

WidthModel width_model() {
  return model_in_force.load(std::memory_order_relaxed);
}

void set_width_model(WidthModel model) {
  model_in_force.store(model, std::memory_order_relaxed);
}

int code_point_cells(char32_t c, WidthModel model) {
  if (c >= 0x20 && c < 0x7F) {
    return 1;
  }
  switch (model) {
    case WidthModel::CodePoints:
    case WidthModel::TmuxCodePoints:
      // A regional indicator is neither wide nor an emoji presentation character to the C
      // library's tables.
      return is_regional_indicator(c) ? 1 : width(c);
    case WidthModel::Clusters:
      return width(c);
    case WidthModel::KittyCodePoints:
      return kitty_width(c);
  }
  return width(c);
}

int cluster_cells(std::u32string_view cluster, WidthModel model) {
  cluster = cluster.substr(0, max_cluster_size);
  if (cluster.empty()) {
    return 0;
  }
  if (model == WidthModel::Clusters) {
    int const first = code_point_cells(cluster.front(), model);
    if (cluster.size() > 1 && first > 0) {
      if (cluster.find(U'\uFE0F') != std::u32string_view::npos) {
        return 2;
      }
      if (cluster.find(U'\uFE0E') != std::u32string_view::npos) {
        return 1;
      }
    }
    return first;
  }
  int total = 0;
  char32_t previous = 0;
  bool unpaired_indicator = false;
  for (char32_t const c : cluster) {
    int cells = code_point_cells(c, model);
    if (model == WidthModel::TmuxCodePoints && previous == U'\u200D') {
      cells = 0;
    } else if (model == WidthModel::KittyCodePoints) {
      if (is_regional_indicator(c) && unpaired_indicator) {
        cells = 0;
      } else if (c == U'\uFE0F' && code_point_cells(previous, model) == 1 &&
                 u_hasBinaryProperty(static_cast<UChar32>(previous), UCHAR_EMOJI)) {
        cells = 1;
      } else if (previous != 0 &&
                 u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_EMOJI_MODIFIER)) {
        cells = 0;
      }
      unpaired_indicator = is_regional_indicator(c) && !unpaired_indicator;
    }
    total += cells;
    previous = c;
  }
  return total;
}

char32_t symbol_of(std::u32string_view cluster) {
  if (cluster.empty()) {
    return U' ';
  }
  if (cluster.size() == 1) {
    return cluster.front();
  }
  return store().intern(cluster.substr(0, max_cluster_size));
}

void append_code_points(char32_t symbol, std::u32string& out) {
  if (is_cluster(symbol)) {
    store().append(symbol, out);
  } else {
    out += symbol;
  }
}

std::u32string code_points(char32_t symbol) {
  std::u32string out;
  append_code_points(symbol, out);
  return out;
}

namespace {

// Whether no rule joins `c` to a neighbour of grapheme cluster break class Other: c is a
// scalar value of that class itself (CJK, most letters, emoji; not a mark, joiner, prepended
// mark, regional indicator or Hangul jamo), so a boundary between two of them holds in any
// context.
bool is_plain(char32_t c) {
  return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF) &&
         u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK) ==
             U_GCB_OTHER;
}

}  // namespace

namespace {

// cluster_end, with the break iterator's step given.
template <typename Following>
std::size_t cluster_end_by(std::u32string_view text, std::size_t at, Following const& following) {
  std::size_t const next = at + 1;
  // Below U+0300 nothing joins what comes before it; a control character stands alone.
  if (next == text.size() || (text[next] < 0x300 && text[at] < 0x300) || is_control(text[at]) ||
      is_control(text[next])) {
    return next;
  }
  // The break iterator only where a rule may join.
  if (is_plain(text[at]) && is_plain(text[next])) {
    return next;
  }
  return following(at);
}

}  // namespace

std::size_t cluster_end(std::u32string_view text, std::size_t at) {
  return cluster_end_by(text, at,
                        [&](std::size_t from) { return detail::following_break(text, from); });
}

std::size_t detail::cluster_end(std::u32string_view text, std::size_t at, ClusterWalk& walk) {
  return cluster_end_by(text, at, [&](std::size_t from) { return walk.following(from); });
}

int detail::interned_cells(char32_t symbol, WidthModel model) {
  return slot_cells[symbol & slot_mask][static_cast<std::size_t>(model)].load(
      std::memory_order_relaxed);
}

void detail::next_cluster_frame() {
  store().next_frame();
}

char* detail::write_cluster_u8(char* out, char32_t symbol) {
  std::u32string points;
  store().append(symbol, points);
  for (char32_t const c : points) {
    // Nothing in a cluster may act on the terminal or be ill-formed.
    bool const writable = !is_control(c) && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    out = dalk::detail::write_u8(out, writable ? c : replacement);
  }
  return out;
}

}  // namespace dalk::text

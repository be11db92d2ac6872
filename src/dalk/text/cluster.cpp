#include "dalk/cluster.hpp"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "dalk/sequence.hpp"
#include "dalk/text/break_iterator.hpp"
#include "dalk/text/code_point_classes.hpp"
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

// The last frame that drew each slot's cluster, refreshed without the lock by a thread that
// finds the cluster in its own cache.
std::array<std::atomic<std::uint64_t>, max_interned_clusters> slot_frame{};

bool is_control(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The frame being drawn, and how many times the store released clusters (what a thread
// remembers of symbols is good until then): outside the store, so that reading them needs no
// check that the store was built.
constinit std::atomic<std::uint64_t> frames_drawn{1};
constinit std::atomic<std::uint64_t> clusters_released{0};

struct Slot {
  std::array<char32_t, max_cluster_size> points{};
  std::uint8_t size = 0;
  // The bytes written for it: nothing in a cluster may act on the terminal or be ill-formed.
  std::array<char, detail::max_cluster_u8_size> bytes{};
  std::uint8_t byte_size = 0;
  std::uint16_t generation = 0;
  bool used = false;

  std::u32string_view view() const { return {points.data(), size}; }

  void hold(std::u32string_view cluster) {
    std::copy(cluster.begin(), cluster.end(), points.begin());
    size = static_cast<std::uint8_t>(cluster.size());
    char* out = bytes.data();
    for (char32_t const c : cluster) {
      bool const writable = !is_control(c) && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
      out = dalk::detail::write_u8(out, writable ? c : replacement);
    }
    byte_size = static_cast<std::uint8_t>(out - bytes.data());
    used = true;
  }
};

// Slots live in chunks that never move, so that the index can key on views of them.
constexpr std::size_t chunk_slots = 1024;
using Chunk = std::array<Slot, chunk_slots>;

class Store {
 public:
  char32_t intern(std::u32string_view cluster) {
    std::lock_guard const lock{mutex_};
    std::uint64_t const now = frame();
    if (auto const found = index_.find(cluster); found != index_.end()) {
      slot_frame[found->second].store(now, std::memory_order_relaxed);
      return make_symbol(found->second, at(found->second).generation);
    }
    std::uint32_t number = 0;
    if (!take_slot(now, number)) {
      return replacement;
    }
    Slot& slot = at(number);
    slot.hold(cluster);
    slot_frame[number].store(now, std::memory_order_relaxed);
    index_.emplace(slot.view(), number);
    for (std::size_t model = 0; model < model_count; ++model) {
      int const cells = cluster_cells(cluster, static_cast<WidthModel>(model));
      slot_cells[number][model].store(static_cast<std::uint8_t>(std::min(cells, 255)),
                                      std::memory_order_relaxed);
    }
    return make_symbol(number, slot.generation);
  }

  // Calls f with the slot `symbol` names, or with nullptr where it was released.
  template <typename F>
  void with_slot(char32_t symbol, F const& f) {
    std::uint32_t const number = symbol & slot_mask;
    std::uint32_t const generation = (symbol >> slot_bits) & generation_mask;
    std::lock_guard const lock{mutex_};
    bool const live = number < allocated_ && at(number).used && at(number).generation == generation;
    f(live ? &at(number) : nullptr);
  }

  void next_frame() { frames_drawn.fetch_add(1, std::memory_order_relaxed); }
  std::uint64_t frame() const { return frames_drawn.load(std::memory_order_relaxed); }

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
    clusters_released.fetch_add(1, std::memory_order_acq_rel);
    for (std::uint32_t number = 0; number < allocated_; ++number) {
      Slot& slot = at(number);
      if (slot.used && slot_frame[number].load(std::memory_order_relaxed) + 1 < now) {
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
};

Store& store() {
  static Store instance;
  return instance;
}

// What a thread interned and wrote lately, good until the store next releases clusters: a
// frame mostly draws the clusters the last one drew, so the store's lock and index are
// skipped for them.
constexpr std::size_t cache_entries = 512;

struct ThreadCache {
  struct Interned {
    std::array<char32_t, max_cluster_size> points{};
    std::uint8_t size = 0;  // 0: empty
    char32_t symbol = 0;
  };
  struct Written {
    char32_t symbol = 0;  // 0: empty
    std::uint8_t size = 0;
    std::array<char, detail::max_cluster_u8_size> bytes{};
  };

  std::uint64_t sweeps = 0;
  std::array<Interned, cache_entries> interned{};
  std::array<Written, cache_entries> written{};

  // From the first two code points, the last and the size (a cluster has two at least):
  // clusters that share all four are rare, and the products need not wait on each other.
  static std::size_t index_of(std::u32string_view cluster) {
    std::uint32_t const hash = (static_cast<std::uint32_t>(cluster[0]) * 0x9E3779B1U) ^
                               (static_cast<std::uint32_t>(cluster[1]) * 0x85EBCA77U) ^
                               (static_cast<std::uint32_t>(cluster.back()) * 0xC2B2AE3DU) ^
                               static_cast<std::uint32_t>(cluster.size());
    return (hash ^ (hash >> 15)) % cache_entries;
  }
};

// Clusters are a few code points: a loop compares them faster than a call to memcmp.
bool same_points(std::u32string_view cluster, char32_t const* points) {
  for (std::size_t i = 0; i < cluster.size(); ++i) {
    if (cluster[i] != points[i]) {
      return false;
    }
  }
  return true;
}

// Initial-exec, so that finding the thread's cache is no call, on every cluster drawn.
thread_local ThreadCache* thread_cache_in_use __attribute__((tls_model("initial-exec"))) = nullptr;

// The thread's cache made, or emptied since clusters were released.
[[gnu::noinline]] ThreadCache& renew_thread_cache(std::uint64_t sweeps) {
  if (thread_cache_in_use == nullptr) {
    thread_local std::unique_ptr<ThreadCache> const owner = std::make_unique<ThreadCache>();
    thread_cache_in_use = owner.get();
  }
  *thread_cache_in_use = ThreadCache{};
  thread_cache_in_use->sweeps = sweeps;
  return *thread_cache_in_use;
}

inline ThreadCache& thread_cache() {
  std::uint64_t const sweeps = clusters_released.load(std::memory_order_acquire);
  ThreadCache* const cache = thread_cache_in_use;
  if (cache != nullptr && cache->sweeps == sweeps) [[likely]] {
    return *cache;
  }
  return renew_thread_cache(sweeps);
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

namespace {

// symbol_of for a cluster of 2 to max_cluster_size code points, drawn in frame `frame`, with
// the thread's cache as found at the start of the text: it changes only when interning
// releases clusters.
char32_t intern_drawn(std::u32string_view cluster, std::uint64_t frame, ThreadCache*& cache) {
  ThreadCache::Interned& entry = cache->interned[ThreadCache::index_of(cluster)];
  if (entry.size == cluster.size() && same_points(cluster, entry.points.data())) {
    // Drawn this frame: kept for the next.
    slot_frame[entry.symbol & slot_mask].store(frame, std::memory_order_relaxed);
    return entry.symbol;
  }
  char32_t const symbol = store().intern(cluster);
  cache = &thread_cache();
  ThreadCache::Interned& fresh_entry = cache->interned[ThreadCache::index_of(cluster)];
  if (is_cluster(symbol)) {
    std::copy(cluster.begin(), cluster.end(), fresh_entry.points.begin());
    fresh_entry.size = static_cast<std::uint8_t>(cluster.size());
    fresh_entry.symbol = symbol;
  }
  return symbol;
}

// The cells of a glyph symbol (not ASCII) under `model`.
int symbol_cells_under(char32_t symbol, WidthModel model) {
  if (is_cluster(symbol)) {
    return slot_cells[symbol & slot_mask][static_cast<std::size_t>(model)].load(
        std::memory_order_relaxed);
  }
  // code_point_cells, the models that read the C library's widths answered from their table.
  if (model != WidthModel::KittyCodePoints && symbol < dalk::detail::PackedWidths::end &&
      (model == WidthModel::Clusters || !is_regional_indicator(symbol))) {
    return dalk::detail::code_point_widths()[symbol];
  }
  return code_point_cells(symbol, model);
}

}  // namespace

char32_t symbol_of(std::u32string_view cluster) {
  if (cluster.empty()) {
    return U' ';
  }
  if (cluster.size() == 1) {
    return cluster.front();
  }
  ThreadCache* cache = &thread_cache();
  return intern_drawn(cluster.substr(0, max_cluster_size),
                      frames_drawn.load(std::memory_order_relaxed), cache);
}

void append_code_points(char32_t symbol, std::u32string& out) {
  if (!is_cluster(symbol)) {
    out += symbol;
    return;
  }
  store().with_slot(symbol, [&](Slot const* slot) {
    if (slot != nullptr) {
      out += slot->view();
    } else {
      out += replacement;
    }
  });
}

std::u32string code_points(char32_t symbol) {
  std::u32string out;
  append_code_points(symbol, out);
  return out;
}

namespace {

constexpr bool is_mark_class(int grapheme) {
  return grapheme == U_GCB_EXTEND || grapheme == U_GCB_ZWJ || grapheme == U_GCB_SPACING_MARK;
}

// What two neighbouring code points' grapheme cluster break classes say of the boundary
// between them; Look where a rule reads further back than the pair.
enum class Pair : std::uint8_t { Break, Join, Look };

constexpr Pair pair_rule(int before, int after) {
  auto const is_control_class = [](int g) {
    return g == U_GCB_CONTROL || g == U_GCB_CR || g == U_GCB_LF;
  };
  if (is_control_class(before) || is_control_class(after)) {
    return Pair::Break;
  }
  if (is_mark_class(after) || before == U_GCB_PREPEND) {
    return Pair::Join;
  }
  switch (before) {
    case U_GCB_L:
      if (after == U_GCB_L || after == U_GCB_V || after == U_GCB_LV || after == U_GCB_LVT) {
        return Pair::Join;
      }
      break;
    case U_GCB_LV:
    case U_GCB_V:
      if (after == U_GCB_V || after == U_GCB_T) {
        return Pair::Join;
      }
      break;
    case U_GCB_LVT:
    case U_GCB_T:
      if (after == U_GCB_T) {
        return Pair::Join;
      }
      break;
    case U_GCB_REGIONAL_INDICATOR:
      if (after == U_GCB_REGIONAL_INDICATOR) {
        return Pair::Look;  // pairs counted from the run's start
      }
      break;
    case U_GCB_EXTEND:
    case U_GCB_ZWJ:
      // An emoji after a joiner, a consonant after a virama's marks.
      return after == U_GCB_OTHER ? Pair::Look : Pair::Break;
    default:
      break;
  }
  return Pair::Break;
}

constexpr auto pair_rules = [] {
  std::array<std::array<Pair, U_GCB_COUNT>, U_GCB_COUNT> rules{};
  for (int before = 0; before < U_GCB_COUNT; ++before) {
    for (int after = 0; after < U_GCB_COUNT; ++after) {
      rules[static_cast<std::size_t>(before)][static_cast<std::size_t>(after)] =
          pair_rule(before, after);
    }
  }
  return rules;
}();

constexpr std::size_t undecided = std::u32string_view::npos;

// Whether the last code point of `cluster` joins the cluster before it (which starts a
// cluster), as the break iterator finds: it decides from what precedes alone. A thread
// remembers the answers for short clusters, since text repeats its conjuncts.
bool joins_by_iterator(std::u32string_view cluster);

// For the pairs that read further back, with the cluster's code points from `at` to `i + 1`.
// Only what lies between `at` and the pair is read when `at_boundary`; otherwise the start
// may lie before `at`, and where that matters the answer is empty (undecided).
std::optional<bool> joins_looking_back(std::u32string_view text, std::size_t at, std::size_t i,
                                       bool at_boundary) {
  dalk::detail::CodePointClass const x = dalk::detail::code_point_class(text[i]);
  dalk::detail::CodePointClass const y = dalk::detail::code_point_class(text[i + 1]);
  auto const is_regional = [&](std::size_t k) { return is_regional_indicator(text[k]); };
  auto const grapheme_of = [&](std::size_t k) {
    return dalk::detail::code_point_class(text[k]).grapheme();
  };
  if (x.grapheme() == U_GCB_REGIONAL_INDICATOR) {
    if (i == at) {
      // Pairs counted from the run's start, or from as far back as the iterator's window
      // reaches.
      std::size_t const reach = at > detail::break_window ? at - detail::break_window : 0;
      std::size_t first = at;
      while (!at_boundary && first > reach && is_regional(first - 1)) {
        --first;
      }
      return (at - first) % 2 == 0;
    }
    if (i == at + 1 && is_regional(at)) {
      return false;  // the second of a pair
    }
  } else if (x.grapheme() == U_GCB_ZWJ && y.is_extended_pictographic()) {
    // An emoji, extending marks, a joiner: the emoji after joins.
    std::size_t k = i;
    while (k > at && grapheme_of(k - 1) == U_GCB_EXTEND) {
      --k;
    }
    if (k > at || at_boundary) {
      return k > at && dalk::detail::code_point_class(text[k - 1]).is_extended_pictographic();
    }
  } else if (y.is_indic()) {
    // A consonant after a virama and the marks around it may join it: the iterator decides.
    std::size_t k = i + 1;
    bool linked = false;
    while (k > at && (grapheme_of(k - 1) == U_GCB_EXTEND || grapheme_of(k - 1) == U_GCB_ZWJ)) {
      linked = linked || dalk::detail::code_point_class(text[k - 1]).is_linker();
      --k;
    }
    if (!linked && (k > at || at_boundary)) {
      return false;
    }
  } else {
    return false;
  }
  if (!at_boundary) {
    return std::nullopt;
  }
  return joins_by_iterator(text.substr(at, i + 2 - at));
}

// The end of the cluster that starts at `at`, decided from the code points' classes pair by
// pair as the break iterator's rules would, reading further back only for the rules that do:
// an emoji joined after a zero-width joiner, regional indicators in pairs, consonants a virama
// links. Undecided where the iterator's own view is needed: a cluster as long as its window,
// or with `at` not known to start a cluster, one whose start may lie before `at`.
// `first`, when not negative, is the class of text[at], known from the step before.
std::size_t rule_cluster_end(std::u32string_view text, std::size_t at, bool at_boundary,
                             std::int64_t& first) {
  dalk::detail::CodePointClass const start =
      first >= 0 ? dalk::detail::CodePointClass{static_cast<std::uint32_t>(first)}
                 : dalk::detail::code_point_class(text[at]);
  int before = start.grapheme();
  // Whether a virama or stacker is in the cluster so far: only then may a consonant join.
  bool linked = start.is_linker();
  std::size_t const last = std::min(text.size(), at + detail::break_window) - 1;
  for (std::size_t i = at; i < last; ++i) {
    dalk::detail::CodePointClass const next = dalk::detail::code_point_class(text[i + 1]);
    int const after = next.grapheme();
    bool join = false;
    Pair pair = pair_rules[static_cast<std::size_t>(before)][static_cast<std::size_t>(after)];
    // After a mark, only an emoji after a joiner or a consonant a virama may link reads back:
    // most marks end their cluster here.
    if (pair == Pair::Look && before != U_GCB_REGIONAL_INDICATOR &&
        (!next.is_indic() || (!linked && at_boundary)) &&
        !(before == U_GCB_ZWJ && next.is_extended_pictographic())) {
      pair = Pair::Break;
    }
    switch (pair) {
      case Pair::Break:
        first = next.bits();
        return i + 1;
      case Pair::Join:
        join = true;
        break;
      case Pair::Look:
        if (std::optional<bool> const joins = joins_looking_back(text, at, i, at_boundary)) {
          join = *joins;
        } else {
          return undecided;
        }
        break;
    }
    if (!join) {
      first = next.bits();
      return i + 1;
    }
    before = after;
    linked = linked || next.is_linker();
  }
  first = -1;
  return last + 1 == text.size() ? text.size() : undecided;
}

bool joins_by_iterator(std::u32string_view cluster) {
  struct Answer {
    std::array<char32_t, max_cluster_size> points{};
    std::uint8_t size = 0;  // 0: empty
    bool joins = false;
  };
  constexpr std::size_t answers = 256;
  if (cluster.size() > max_cluster_size) {
    return !detail::is_break(cluster, cluster.size() - 1);
  }
  thread_local std::unique_ptr<std::array<Answer, answers>> const known =
      std::make_unique<std::array<Answer, answers>>();
  Answer& answer = (*known)[ThreadCache::index_of(cluster) % answers];
  if (answer.size != cluster.size() || !same_points(cluster, answer.points.data())) {
    std::copy(cluster.begin(), cluster.end(), answer.points.begin());
    answer.size = static_cast<std::uint8_t>(cluster.size());
    answer.joins = !detail::is_break(cluster, cluster.size() - 1);
  }
  return answer.joins;
}

// cluster_end, with the break iterator's step given.
// `first` as rule_cluster_end takes and leaves it.
template <typename Following>
std::size_t cluster_end_by(std::u32string_view text, std::size_t at, bool at_boundary,
                           Following const& following, std::int64_t& first) {
  std::size_t const next = at + 1;
  // Below U+0300 nothing joins what comes before it; a control character stands alone.
  if (next == text.size() || (text[next] < 0x300 && text[at] < 0x300) || is_control(text[at]) ||
      is_control(text[next])) {
    first = -1;
    return next;
  }
  std::size_t const end = rule_cluster_end(text, at, at_boundary, first);
  if (end != undecided) {
    return end;
  }
  first = -1;
  return following(at);
}

// cluster_end(text, at) for `at` known to start a cluster (the end of the one before, or a
// position no rule joins to what precedes it): the text before `at` is not read, so that it
// may be written over. `first` as rule_cluster_end takes and leaves it.
std::size_t cluster_end_from_boundary(std::u32string_view text, std::size_t at,
                                      std::int64_t& first) {
  return cluster_end_by(
      text, at, true,
      [&](std::size_t from) { return detail::following_break_from_boundary(text, from); }, first);
}

}  // namespace

std::size_t cluster_end(std::u32string_view text, std::size_t at) {
  std::int64_t first = -1;
  return cluster_end_by(
      text, at, false, [&](std::size_t from) { return detail::following_break(text, from); },
      first);
}

int detail::symbol_cells(char32_t symbol) {
  return symbol_cells_under(symbol, width_model());
}

std::size_t detail::lay_out_in_place(std::u32string& text) {
  std::uint64_t const frame = frames_drawn.load(std::memory_order_relaxed);
  ThreadCache* cache = &thread_cache();
  WidthModel const model = width_model();
  // The class of the code point a cluster starts with, when the step before read it.
  std::int64_t first = -1;
  auto const cells = [model](char32_t symbol) {
    return symbol < 0x80 ? 1 : symbol_cells_under(symbol, model);
  };
  // Most text is one code point a character: it is its own symbol, kept in place.
  std::size_t kept = 0;
  std::size_t total = 0;
  std::size_t const size = text.size();
  // Symbols are written in place behind the walk, which reads the text ahead of them only.
  for (std::size_t at = 0; at < size;) {
    // A run of ASCII is one cell a code point, kept as it is without a call a code point, so
    // that ASCII text is laid out as fast as before clusters; but for its last code point where
    // what follows it may join it.
    std::size_t run_end = at;
    while (run_end < size && text[run_end] < 0x80) {
      ++run_end;
    }
    if (run_end < size && text[run_end] >= 0x300 && run_end > at) {
      --run_end;
    }
    if (kept != at) {
      std::copy(text.begin() + static_cast<std::ptrdiff_t>(at),
                text.begin() + static_cast<std::ptrdiff_t>(run_end),
                text.begin() + static_cast<std::ptrdiff_t>(kept));
    }
    if (run_end != at) {
      first = -1;
    }
    kept += run_end - at;
    total += run_end - at;
    at = run_end;
    if (at == size) {
      break;
    }
    std::size_t const end = cluster_end_from_boundary(text, at, first);
    std::u32string_view const cluster{text.data() + at, end - at};
    if (cluster.size() == 1) {
      // A symbol drawable text already holds (put() draws symbols again) stays as it is.
      if (int const taken = cells(cluster.front()); taken != 0) {
        text[kept++] = cluster.front();
        total += static_cast<std::size_t>(taken);
      }
    } else {
      char32_t const symbol = intern_drawn(cluster.substr(0, max_cluster_size), frame, cache);
      // The cells were measured once, when the cluster was interned.
      if (int const taken = cells(symbol); taken != 0) {
        text[kept++] = symbol;
        total += static_cast<std::size_t>(taken);
      }
    }
    at = end;
  }
  text.resize(kept);
  return total;
}

int detail::interned_cells(char32_t symbol, WidthModel model) {
  return slot_cells[symbol & slot_mask][static_cast<std::size_t>(model)].load(
      std::memory_order_relaxed);
}

void detail::next_cluster_frame() {
  store().next_frame();
}

std::uint64_t detail::cluster_releases() {
  return clusters_released.load(std::memory_order_acquire);
}

char* detail::write_cluster_u8(char* out, char32_t symbol) {
  ThreadCache::Written& entry = thread_cache().written[symbol % cache_entries];
  if (entry.symbol != symbol) {
    entry.symbol = 0;
    store().with_slot(symbol, [&](Slot const* slot) {
      if (slot != nullptr) {
        std::copy_n(slot->bytes.begin(), slot->byte_size, entry.bytes.begin());
        entry.size = slot->byte_size;
        entry.symbol = symbol;
      }
    });
    if (entry.symbol != symbol) {
      return dalk::detail::write_u8(out, replacement);
    }
  }
  // The whole buffer at once, a few stores instead of a call: what lies past the cluster's
  // bytes is scratch the caller's room holds.
  std::memcpy(out, entry.bytes.data(), detail::max_cluster_u8_size);
  return out + entry.size;
}

}  // namespace dalk::text

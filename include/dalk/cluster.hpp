// Grapheme clusters as a screen cell holds them: what a reader takes for one character (an
// extended grapheme cluster, found by ICU's break iterator) in one glyph symbol, and the cells it
// takes under the terminal's width model. A cluster of one code point is that code point; one of
// several is interned and named by a symbol above U+10FFFF, so that glyphs still compare as one
// value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dalk::text {

/// How the terminal advances the cursor over a cluster. Two models, code point by code point and
/// whole clusters; kitty and tmux lay out code point by code point by rules of their own.
enum class WidthModel : std::uint8_t {
  /// Code point by code point (xterm, libvterm, VTE and most terminals, as the C library's
  /// wcwidth): a cluster takes the cells of its code points, those of width 0 riding in the cell
  /// before them; a regional indicator takes one.
  CodePoints,
  /// Whole clusters (mode 2027): a cluster takes the cells of its first code point; two with an
  /// emoji presentation selector (U+FE0F), one with a text presentation selector (U+FE0E).
  Clusters,
  /// Code points as kitty lays them out without mode 2027: every mark takes no cell (spacing
  /// vowel signs too), nor does an emoji modifier or a flag's second regional indicator; an
  /// emoji followed by U+FE0F takes two; a Hangul vowel or final jamo takes one.
  KittyCodePoints,
  /// Code points as tmux lays them out: as CodePoints, except that what follows a zero-width
  /// joiner rides in the cell before it.
  TmuxCodePoints,
};

/// The model the library measures with; CodePoints until a session finds another from the
/// terminal's answers (Extension::GraphemeClusters). Process-wide; any thread.
WidthModel width_model();
void set_width_model(WidthModel model);

/// At most this many code points of a cluster are kept: marks stacked beyond it are dropped.
inline constexpr std::size_t max_cluster_size = 16;

/// At most this many clusters are interned at once. When the store is full, clusters no frame
/// has drawn for two frames are released; a symbol of a released cluster reads as U+FFFD, and a
/// cluster that finds no room is drawn as U+FFFD.
inline constexpr std::size_t max_interned_clusters = 65536;

/// Whether `symbol` names an interned cluster of several code points.
constexpr bool is_cluster(char32_t symbol) {
  return (symbol & 0xC0000000U) == 0x40000000U;
}

/// The symbol of one cluster: its code point when it has one, otherwise the interned cluster
/// (cut to max_cluster_size). Empty gives U+0020. Any thread.
char32_t symbol_of(std::u32string_view cluster);

/// Appends the code points `symbol` stands for to `out`. Any thread.
void append_code_points(char32_t symbol, std::u32string& out);

/// The code points `symbol` stands for.
std::u32string code_points(char32_t symbol);

/// The cells one code point takes on its own under `model`.
int code_point_cells(char32_t c, WidthModel model);

/// The cells `cluster` (composed text, one cluster) takes under `model`.
int cluster_cells(std::u32string_view cluster, WidthModel model);

/// The end of the cluster of `text` that starts at `at` (below text.size()). A control
/// character is a cluster of its own, also CR before LF.
std::size_t cluster_end(std::u32string_view text, std::size_t at);

namespace detail {

/// Cells of a cluster symbol under `model`, kept when it was interned: no lookup of its text.
int interned_cells(char32_t symbol, WidthModel model);

/// The cells of any glyph symbol under the model in force, in one call: drawing asks for
/// every cell.
int symbol_cells(char32_t symbol);

/// A frame has been committed: clusters it drew are kept for the next one. Any thread.
void next_cluster_frame();

/// How many times the store has released clusters so far: a symbol drawn earlier may name a
/// released cluster only once this changed. Any thread.
std::uint64_t cluster_releases();

/// Writes the UTF-8 bytes of the code points of cluster `symbol` at `out` and returns their
/// end. The room at `out` must hold max_cluster_u8_size bytes: those past the end returned may
/// be written too.
char* write_cluster_u8(char* out, char32_t symbol);
inline constexpr std::size_t max_cluster_u8_size = 4 * max_cluster_size;

}  // namespace detail
}  // namespace dalk::text

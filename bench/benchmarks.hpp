// Registration of the benchmark families; main() registers them in this order and turns the
// results into one table.
#pragma once

namespace bench {

/// "commit/W<n>/<w>x<h>/vennic", ".../baseline" (the commit before wide glyphs), ".../ncurses"
/// and "commit/W4/<w>x<h>/ncurses_nothing".
void register_commit_benchmarks();
/// "gallery/frame", "events/custom", "text/ascii", "text/wide", "text/mixed",
/// "tree/labels:<n>", "datatable/rows:<n>",
/// "textbox/bytes:<n>".
void register_widget_benchmarks();
/// "textbox/paste:<bytes>", "textbox/keys:<bytes>", "textbox/append/lines:<n>".
void register_textbox_benchmarks();
/// "list/items:<n>", "filter/datatable", "filter/list".
void register_list_benchmarks();
/// "queue/producers:<n>", "decode/keys", "decode/mouse", "latency/key_to_screen",
/// "startup/answers", "startup/silent", "startup/off".
void register_input_benchmarks();

}  // namespace bench

#include "workload.hpp"

#include <algorithm>
#include <numeric>

namespace bench {

std::string workload_name(Workload workload) {
  // One digit; appended rather than concatenated, which GCC 12 misreads as an overlap.
  std::string name{"W"};
  name += static_cast<char>('1' + static_cast<int>(workload));
  return name;
}

int pair_number(std::uint16_t fg, std::uint16_t bg) {
  if (fg == default_color || bg == default_color) {
    return 0;
  }
  return 1 + fg * 255 + (bg < fg ? bg : bg - 1);
}

FrameScript::FrameScript(Workload workload, int w, int h, std::uint32_t seed)
    : width{w}, height{h}, workload_{workload}, random_{seed} {
  auto const cells = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  symbol.resize(cells);
  fg.resize(cells, default_color);
  bg.resize(cells, default_color);
  for (std::size_t i = 0; i < cells; ++i) {
    symbol[i] = random_symbol();
  }
  if (workload_ == Workload::TextOnly) {
    return;
  }
  for (int y = 0; y < height; ++y) {
    std::uint16_t f = 0;
    std::uint16_t b = 0;
    new_colors(f, b);
    for (int x = 0; x < width; ++x) {
      auto const i = static_cast<std::size_t>(y * width + x);
      if (workload_ != Workload::Scroll) {
        new_colors(f, b);
      }
      fg[i] = f;
      bg[i] = b;
    }
  }
}

char FrameScript::random_symbol() {
  std::uniform_int_distribution<int> pick{'!', '~'};
  return static_cast<char>(pick(random_));
}

char FrameScript::new_symbol(char old) {
  std::uniform_int_distribution<int> pick{'!', '~' - 1};
  int c = pick(random_);
  // Skipping the old value keeps the choice uniform over the other 93 characters.
  if (c >= old) {
    ++c;
  }
  return static_cast<char>(c);
}

void FrameScript::new_colors(std::uint16_t& f, std::uint16_t& b) {
  std::uniform_int_distribution<int> pick{0, 255};
  std::uint16_t nf = 0;
  std::uint16_t nb = 0;
  do {
    nf = static_cast<std::uint16_t>(pick(random_));
    nb = static_cast<std::uint16_t>(pick(random_));
  } while (nf == nb || (nf == f && nb == b));
  f = nf;
  b = nb;
}

void FrameScript::step() {
  previous_symbol_ = symbol;
  previous_fg_ = fg;
  previous_bg_ = bg;
  auto const cells = symbol.size();
  switch (workload_) {
    case Workload::FullChange:
      for (std::size_t i = 0; i < cells; ++i) {
        symbol[i] = new_symbol(symbol[i]);
        new_colors(fg[i], bg[i]);
      }
      break;
    case Workload::Sparse: {
      // 2 % of the cells, distinct: the first picks of a partial shuffle.
      std::size_t const count = std::max<std::size_t>(1, cells / 50);
      picks_.resize(cells);
      std::iota(picks_.begin(), picks_.end(), std::size_t{0});
      for (std::size_t k = 0; k < count; ++k) {
        std::uniform_int_distribution<std::size_t> pick{k, cells - 1};
        std::swap(picks_[k], picks_[pick(random_)]);
        std::size_t const i = picks_[k];
        symbol[i] = new_symbol(symbol[i]);
        new_colors(fg[i], bg[i]);
      }
      break;
    }
    case Workload::Scroll: {
      auto const w = static_cast<std::size_t>(width);
      std::copy(symbol.begin() + static_cast<std::ptrdiff_t>(w), symbol.end(), symbol.begin());
      std::copy(fg.begin() + static_cast<std::ptrdiff_t>(w), fg.end(), fg.begin());
      std::copy(bg.begin() + static_cast<std::ptrdiff_t>(w), bg.end(), bg.begin());
      std::uint16_t f = fg[cells - 1];
      std::uint16_t b = bg[cells - 1];
      new_colors(f, b);
      for (std::size_t i = cells - w; i < cells; ++i) {
        symbol[i] = random_symbol();
        fg[i] = f;
        bg[i] = b;
      }
      break;
    }
    case Workload::Static:
      break;
    case Workload::TextOnly:
      for (std::size_t i = 0; i < cells; ++i) {
        symbol[i] = new_symbol(symbol[i]);
      }
      break;
  }
  compute_runs();
}

void FrameScript::compute_runs() {
  runs.clear();
  for (int y = 0; y < height; ++y) {
    int start = -1;
    for (int x = 0; x <= width; ++x) {
      bool changed = false;
      if (x < width) {
        auto const i = static_cast<std::size_t>(y * width + x);
        changed = symbol[i] != previous_symbol_[i] || fg[i] != previous_fg_[i] ||
                  bg[i] != previous_bg_[i];
      }
      if (changed && start < 0) {
        start = x;
      } else if (!changed && start >= 0) {
        runs.push_back(Run{y, start, x - start});
        start = -1;
      }
    }
  }
}

std::vector<Run> FrameScript::all_rows() const {
  std::vector<Run> rows;
  for (int y = 0; y < height; ++y) {
    rows.push_back(Run{y, 0, width});
  }
  return rows;
}

}  // namespace bench

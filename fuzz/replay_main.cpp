// Runs a fuzz target over stored inputs, so that every target also builds without libFuzzer
// (g++ has none) and its corpus replays as an ordinary test. Arguments are files or folders of
// files; every input is run once, in name order. Fails when there was nothing to run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> inputs_of(std::filesystem::path const& argument) {
  std::vector<std::filesystem::path> inputs;
  if (std::filesystem::is_directory(argument)) {
    for (auto const& entry : std::filesystem::directory_iterator(argument)) {
      if (entry.is_regular_file()) {
        inputs.push_back(entry.path());
      }
    }
    std::sort(inputs.begin(), inputs.end());
  } else {
    inputs.push_back(argument);
  }
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (auto const& path : inputs_of(argv[i])) {
      std::ifstream file{path, std::ios::binary};
      if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
      }
      std::vector<char> const bytes{std::istreambuf_iterator<char>(file), {}};
      std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
      LLVMFuzzerTestOneInput(reinterpret_cast<std::uint8_t const*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::fprintf(stderr, "replayed %zu inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}

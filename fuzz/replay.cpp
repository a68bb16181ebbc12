// Runs every fuzz target over files and folders given on the command line. With
// --mutate it also feeds truncated and bit-flipped copies of each file, so that the
// sanitizer build exercises error paths on every run without a fuzzing engine.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fuzz_target.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Truncations at a spread of lengths and single-bit flips at positions spread over the
// file (denser in the first bytes, where headers live). Deterministic per file.
std::vector<std::vector<uint8_t>> Mutations(const std::vector<uint8_t>& data) {
  std::vector<std::vector<uint8_t>> out;
  const size_t n = data.size();
  for (size_t cut : {n / 2, n * 3 / 4, n > 0 ? n - 1 : 0, size_t{0}, std::min<size_t>(n, 16),
                     std::min<size_t>(n, 64), std::min<size_t>(n, 300)})
    if (cut < n) out.emplace_back(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(cut));
  std::mt19937 rng(static_cast<uint32_t>(n * 2654435761u));
  for (int i = 0; i < 24 && n > 0; ++i) {
    auto copy = data;
    const size_t limit = i < 12 ? std::min<size_t>(n, 512) : n;
    const size_t pos = rng() % limit;
    copy[pos] ^= static_cast<uint8_t>(1u << (rng() % 8));
    if (i % 3 == 0) copy[rng() % limit] = static_cast<uint8_t>(rng());
    out.push_back(std::move(copy));
  }
  return out;
}

void Collect(const fs::path& p, std::vector<fs::path>& files) {
  if (fs::is_directory(p)) {
    for (const auto& e : fs::recursive_directory_iterator(p))
      if (e.is_regular_file()) files.push_back(e.path());
  } else if (fs::is_regular_file(p)) {
    files.push_back(p);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool mutate = false;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--mutate") == 0)
      mutate = true;
    else
      Collect(argv[i], files);
  }
  std::sort(files.begin(), files.end());
  size_t runs = 0;
  for (const auto& f : files) {
    const auto data = ReadFile(f);
    std::vector<std::vector<uint8_t>> inputs{data};
    if (mutate) {
      auto m = Mutations(data);
      inputs.insert(inputs.end(), m.begin(), m.end());
    }
    for (const auto& t : vxfuzz::Targets())
      for (const auto& in : inputs) {
        t.entry(in.data(), in.size());
        ++runs;
      }
  }
  std::printf("fuzz replay: %zu targets, %zu files, %zu runs, no fault\n", vxfuzz::Targets().size(),
              files.size(), runs);
  return 0;
}

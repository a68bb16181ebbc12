#pragma once
// Fuzz targets register an entry point here. The replay driver runs every registered
// target over a set of files; under clang each target file is also linked alone with
// libfuzzer_main.cpp into a libFuzzer binary.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vxfuzz {

using Entry = int (*)(const uint8_t* data, size_t size);

// Every fuzz run reads under this pixel limit: low enough that no input can make a run
// slow by sheer size, high enough for every corpus image.
inline constexpr uint64_t kFuzzMaxPixels = uint64_t{1} << 22;

struct Target {
  std::string name;
  Entry entry;
};

std::vector<Target>& Targets();

struct Registrar {
  Registrar(const char* name, Entry entry) { Targets().push_back({name, entry}); }
};

}  // namespace vxfuzz

// libFuzzer entry for a binary built from exactly one target file.
#include "fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const auto& t : vxfuzz::Targets()) t.entry(data, size);
  return 0;
}

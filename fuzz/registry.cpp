#include "core/vxdefs.h"
#include "fuzz_target.h"

namespace vxfuzz {

namespace {
const bool kLimitSet = (vx::SetMaxImagePixels(kFuzzMaxPixels), true);
}

std::vector<Target>& Targets() {
  static std::vector<Target> targets;
  return targets;
}
}  // namespace vxfuzz

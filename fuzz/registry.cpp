#include "fuzz_target.h"

namespace vxfuzz {
std::vector<Target>& Targets() {
  static std::vector<Target> targets;
  return targets;
}
}  // namespace vxfuzz

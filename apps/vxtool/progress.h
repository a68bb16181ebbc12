#pragma once
// A progress bar on stderr, shown only when stderr is a terminal and the work has
// lasted more than a moment.
#include <chrono>
#include <string>

#include "core/vxdefs.h"

namespace vxtool {

class ProgressBar {
 public:
  explicit ProgressBar(std::string label);
  ~ProgressBar();
  // The handler to put into a component's OnProgress.
  vx::TProgressEvent Handler();
  void Update(int percent);

 private:
  std::string label_;
  bool terminal_;
  bool shown_ = false;
  int last_ = -1;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace vxtool

#include "progress.h"

#include <unistd.h>
#include <cstdio>

namespace vxtool {

namespace {
constexpr auto kDelay = std::chrono::milliseconds(300);
constexpr int kWidth = 30;
}  // namespace

ProgressBar::ProgressBar(std::string label)
    : label_(std::move(label)),
      terminal_(::isatty(2) != 0),
      start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() {
  if (shown_) std::fprintf(stderr, "\r\033[K");
}

vx::TProgressEvent ProgressBar::Handler() {
  return [this](vx::TObject*, int percent) { Update(percent); };
}

void ProgressBar::Update(int percent) {
  if (!terminal_ || percent == last_) return;
  if (!shown_ && std::chrono::steady_clock::now() - start_ < kDelay) return;
  shown_ = true;
  last_ = percent;
  const int p = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  const int filled = p * kWidth / 100;
  std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled,
               "##############################", kWidth - filled, "", p);
  std::fflush(stderr);
}

}  // namespace vxtool

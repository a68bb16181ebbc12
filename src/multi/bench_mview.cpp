// Thumbnail benchmarks of the multi-image view, on 12-megapixel JPEG photographs made
// once in a scratch folder (kept between runs):
//
//  1. thumbnails of N photos with vxtThumb (the JPEG decoded at reduced size, then a
//     halftone reduction), against Pillow's draft() + thumbnail() on the same files in a
//     /usr/bin/python3 subprocess; best of three passes each;
//  2. resident memory while a folder of M photos is browsed as a grid of thumbnails,
//     scrolled from top to bottom (every cell painted once), in a process of its own.
//
//   bench_mview [N=200] [M=1000] [FOLDER=/tmp/vx_bench_mview]
//
// The photos are a few distinct pictures under many names (hard links): decoding cost
// is the same for each name, and the disk holds one copy of each picture.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../../bench/photo.h"
#include "io/vantixio.h"
#include "multi/vantixmview.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPhotoW = 4000, kPhotoH = 3000;
constexpr int kDistinct = 12;

std::string Distinct(const std::string& folder, int k) {
  return folder + "/distinct_" + std::to_string(k) + ".jpg";
}

std::string PhotoName(const std::string& folder, int i) {
  char name[32];
  std::snprintf(name, sizeof name, "/photo_%04d.jpg", i);
  return folder + name;
}

// A few pictures, each the photo-like scene shifted sideways, at JPEG quality 90.
void MakeDistinctPhotos(const std::string& folder) {
  bool all = true;
  for (int k = 0; k < kDistinct; ++k) all = all && fs::exists(Distinct(folder, k));
  if (all) return;
  vx::TBitmap base = vxbench::MakePhotoLike(kPhotoW, kPhotoH);
  vx::TBitmap shifted = base;
  for (int k = 0; k < kDistinct; ++k) {
    if (fs::exists(Distinct(folder, k))) continue;
    const int shift = 3 * (k * 331 % kPhotoW);
    for (int y = 0; y < kPhotoH; ++y) {
      const uint8_t* src = base.ScanLine(y);
      uint8_t* dst = shifted.ScanLine(y);
      std::copy(src + shift, src + 3 * kPhotoW, dst);
      std::copy(src, src + shift, dst + 3 * kPhotoW - shift);
    }
    vx::TVantixIO io;
    io.SetAttachedBitmap(&shifted);
    io.Params().JPEG_Quality = 90;
    io.SaveToFileJpeg(Distinct(folder, k));
  }
}

void MakePhotos(const std::string& folder, int count) {
  fs::create_directories(folder);
  MakeDistinctPhotos(folder);
  for (int i = 0; i < count; ++i) {
    const std::string name = PhotoName(folder, i);
    if (!fs::exists(name)) fs::create_hard_link(Distinct(folder, i % kDistinct), name);
  }
}

// A folder holding exactly photos 0 .. count - 1 (links again), for Pillow's glob.
std::string SubFolder(const std::string& folder, int count) {
  const std::string sub = folder + "/set_" + std::to_string(count);
  fs::create_directories(sub);
  for (int i = 0; i < count; ++i) {
    const std::string name = PhotoName(sub, i);
    if (!fs::exists(name)) fs::create_hard_link(PhotoName(folder, i), name);
  }
  return sub;
}

double OursThumbnailSeconds(const std::string& folder, int count) {
  vx::TVantixMView view;
  view.SetStoreType(vx::vxtThumb);
  for (int i = 0; i < count; ++i) view.SetImageFileName(view.AppendImage(), PhotoName(folder, i));
  view.Deselect();
  QElapsedTimer t;
  t.start();
  int made = 0;
  for (int i = 0; i < count; ++i) {
    if (view.GetBitmap(i)) ++made;
    view.ReleaseBitmap(i);
  }
  const double seconds = t.nsecsElapsed() / 1e9;
  if (made != count) std::fprintf(stderr, "only %d of %d thumbnails were made\n", made, count);
  return seconds;
}

double PillowThumbnailSeconds(const std::string& folder) {
  const std::string script =
      "import sys, glob, time\n"
      "from PIL import Image\n"
      "files = sorted(glob.glob(sys.argv[1] + '/photo_*.jpg'))\n"
      "best = 1e9\n"
      "for _ in range(3):\n"
      "    t = time.perf_counter()\n"
      "    for f in files:\n"
      "        im = Image.open(f)\n"
      "        im.draft('RGB', (100, 100))\n"
      "        im.thumbnail((100, 100))\n"
      "    best = min(best, time.perf_counter() - t)\n"
      "print(best)\n";
  const std::string cmd = "/usr/bin/python3 -c \"" + script + "\" " + folder + " 2>/dev/null";
  double seconds = -1;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
    pclose(p);
  }
  return seconds;
}

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Scrolls a 1024 x 768 grid over every photo, painting each screenful.
int BrowseAndReport(const std::string& folder, int count) {
  const long before = ResidentKiB();
  vx::TVantixMView view;
  view.SetBorderStyle(vx::bsNone);
  view.resize(1024, 768);
  view.show();
  view.SetStoreType(vx::vxtThumb);
  view.SetGridWidth(-1);
  view.SetScrollBars(vx::ssVertical);
  view.LockPaint();
  for (int i = 0; i < count; ++i) view.SetImageFileName(view.AppendImage(), PhotoName(folder, i));
  view.Deselect();
  view.UnLockPaint();
  QImage screen(view.ClientWidth(), view.ClientHeight(), QImage::Format_RGB32);
  int mx = 0, my = 0;
  view.GetMaxViewXY(mx, my);
  QElapsedTimer t;
  t.start();
  long peakDuring = 0;
  for (int y = 0;; y += view.ClientHeight()) {
    view.SetViewY(std::min(y, my));
    QPainter p(&screen);
    view.PaintTo(p);
    peakDuring = std::max(peakDuring, ResidentKiB());
    if (y >= my) break;
  }
  const double seconds = t.nsecsElapsed() / 1e9;
  int held = 0;
  for (int i = 0; i < count; ++i) held += view.ImageHeld(i) ? 1 : 0;
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf(
      "\nBrowsing %d photos of %d x %d as thumbnails (1024 x 768 grid, scrolled to the end):\n"
      "  %.1f s, %.1f ms a photo; %d thumbnails held at the end\n"
      "  resident: %.1f MB before the view, %.1f MB at most while scrolling, peak of the "
      "process %.1f MB (goal < 300 MB)\n",
      count, kPhotoW, kPhotoH, seconds, seconds * 1000 / count, held, before / 1024.0,
      peakDuring / 1024.0, ru.ru_maxrss / 1024.0);
  std::fflush(stdout);
  return 0;
}

int InChild(int (*run)(int, char**, const std::string&, int), int argc, char** argv,
            const std::string& folder, int count) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) std::_Exit(run(argc, argv, folder, count));
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int GenerateChild(int, char**, const std::string& folder, int count) {
  MakePhotos(folder, count);
  return 0;
}

int BrowseChild(int argc, char** argv, const std::string& folder, int count) {
  QApplication app(argc, argv);
  return BrowseAndReport(folder, count);
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const int thumbs = argc > 1 ? std::atoi(argv[1]) : 200;
  const int browse = argc > 2 ? std::atoi(argv[2]) : 1000;
  const std::string folder = argc > 3 ? argv[3] : "/tmp/vx_bench_mview";
  int qtArgc = 1;
  // Photos first, each phase in a process of its own so that no figure carries another's.
  if (InChild(GenerateChild, qtArgc, argv, folder, std::max(thumbs, browse)) != 0) return 1;
  if (InChild(BrowseChild, qtArgc, argv, folder, browse) != 0) return 1;

  QApplication app(qtArgc, argv);
  double ours = 1e9;
  for (int pass = 0; pass < 3; ++pass) ours = std::min(ours, OursThumbnailSeconds(folder, thumbs));
  const double pillow = PillowThumbnailSeconds(SubFolder(folder, thumbs));
  std::printf("\nThumbnails (100 x 100) of %d JPEG photos of %d x %d, best of 3 passes:\n",
              thumbs, kPhotoW, kPhotoH);
  std::printf("  ours (vxtThumb)            %8.1f ms  (%.2f ms a photo)\n", ours * 1000,
              ours * 1000 / thumbs);
  if (pillow < 0) {
    std::printf("  Pillow draft + thumbnail   unavailable\n");
    return 0;
  }
  std::printf("  Pillow draft + thumbnail   %8.1f ms  (%.2f ms a photo)\n", pillow * 1000,
              pillow * 1000 / thumbs);
  std::printf("  ratio ours / Pillow = %.2f (goal <= 1.0)\n", ours / pillow);
  return 0;
}

// Palette helpers: channel order swap, nearest entry, logical palette.
#include "proc/colorhelpers.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/vxdefs.h"

namespace {

using namespace vx;

TEST(ColorHelpers, RGB2BGRSwapsRedAndBlueOfTheFirstNEntries) {
  std::vector<TRGB> pal = {CreateRGB(1, 2, 3), CreateRGB(4, 5, 6), CreateRGB(7, 8, 9)};
  RGB2BGR(pal.data(), 2);
  EXPECT_EQ(pal[0], CreateRGB(3, 2, 1));
  EXPECT_EQ(pal[1], CreateRGB(6, 5, 4));
  EXPECT_EQ(pal[2], CreateRGB(7, 8, 9));
  RGB2BGR(pal.data(), 2);
  EXPECT_EQ(pal[0], CreateRGB(1, 2, 3));
  RGB2BGR(nullptr, 5);  // nothing to do, no crash
}

TEST(ColorHelpers, GetSimilColorTakesTheFirstSmallestSumOfDifferences) {
  const std::vector<TRGB> pal = {
      CreateRGB(100, 0, 0),  // sum 100 from black; straight-line distance 100
      CreateRGB(60, 60, 0),  // sum 120; straight-line distance 85: a Euclidean pick
      CreateRGB(0, 0, 100),  // sum 100 again: a tie the earlier entry wins
      CreateRGB(0, 0, 0),    // exact, but beyond the entries searched below
  };
  const TRGB black = CreateRGB(0, 0, 0);
  EXPECT_EQ(GetSimilColor(pal.data(), 3, black), 0);
  EXPECT_EQ(GetSimilColor(pal.data(), 4, black), 3);
  EXPECT_EQ(GetSimilColor(pal.data(), 3, CreateRGB(0, 10, 90)), 2);
  // The farthest colour still finds an entry: the start value lies above 3 * 255.
  const std::vector<TRGB> far = {CreateRGB(0, 0, 0)};
  EXPECT_EQ(GetSimilColor(far.data(), 1, CreateRGB(255, 255, 255)), 0);
  EXPECT_EQ(GetSimilColor(pal.data(), 0, black), 0);
  EXPECT_EQ(GetSimilColor(nullptr, 3, black), 0);
}

TEST(ColorHelpers, CreateWinPaletteListsRedGreenBlueWithFlagsZero) {
  const std::vector<TRGB> pal = {CreateRGB(10, 20, 30), CreateRGB(200, 100, 0), CreateRGB(1, 1, 1)};
  const TLogPalette log = CreateWinPalette(pal.data(), 2);
  EXPECT_EQ(log.Version, 0x300);
  ASSERT_EQ(log.Entries.size(), 2u);
  EXPECT_EQ(log.Entries[0], (TPaletteEntry{10, 20, 30, 0}));
  EXPECT_EQ(log.Entries[1], (TPaletteEntry{200, 100, 0, 0}));
  EXPECT_TRUE(CreateWinPalette(pal.data(), 0).Entries.empty());
  EXPECT_TRUE(CreateWinPalette(nullptr, 3).Entries.empty());
}

}  // namespace

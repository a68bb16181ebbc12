#include "core/vxlists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/exceptions.h"

namespace {

using namespace vx;

std::vector<int> Items(const TVXIntegerList& l) {
  std::vector<int> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.GetItem(i));
  return v;
}

// ---- lists ----

TEST(VXIntegerList, AddInsertDeleteIndexOf) {
  TVXIntegerList l;
  EXPECT_EQ(l.ItemSize(), 4);
  EXPECT_EQ(l.Add(5), 0);
  EXPECT_EQ(l.Add(7), 1);
  l.Insert(0, 3);
  EXPECT_EQ(Items(l), (std::vector<int>{3, 5, 7}));
  EXPECT_TRUE(l.Changed() & kChangedItems);

  // Delete takes an index: 5 is past the end, so nothing happens and no flag is raised.
  l.SetChanged(0);
  l.Delete(5);
  l.Delete(-1);
  EXPECT_EQ(Items(l), (std::vector<int>{3, 5, 7}));
  EXPECT_EQ(l.Changed(), 0);

  EXPECT_EQ(l.IndexOf(7), 2);
  EXPECT_EQ(l.IndexOf(4), -1);

  l.Delete(1);
  EXPECT_EQ(Items(l), (std::vector<int>{3, 7}));
  EXPECT_EQ(l.Changed(), kChangedItems);
  l.Insert(100, 9);  // past the end appends
  l.Insert(-4, 1);   // before the start goes to the front
  EXPECT_EQ(Items(l), (std::vector<int>{1, 3, 7, 9}));
}

TEST(VXIntegerList, BadIndicesNeverTouchMemory) {
  TVXIntegerList l;
  EXPECT_EQ(l.GetItem(0), 0);
  EXPECT_EQ(l.BaseGetItem(0), nullptr);
  l.Add(42);
  l.SetChanged(0);
  for (int i : {-1, 1, 1000}) {
    EXPECT_EQ(l.GetItem(i), 0) << i;
    EXPECT_EQ(l.BaseGetItem(i), nullptr) << i;
    l.SetItem(i, 9);
  }
  EXPECT_EQ(Items(l), std::vector<int>{42});
  EXPECT_EQ(l.Changed(), 0);
  l.SetItem(0, 9);
  EXPECT_EQ(Items(l), std::vector<int>{9});
  EXPECT_EQ(l.Changed(), kChangedItems);
}

TEST(VXIntegerList, SetCountKeepsLeadingItemsAndZeroesNewOnes) {
  TVXIntegerList l;
  for (int v : {1, 2, 3, 4}) l.Add(v);
  l.SetCount(2);
  EXPECT_EQ(Items(l), (std::vector<int>{1, 2}));
  l.SetCount(4);
  EXPECT_EQ(Items(l), (std::vector<int>{1, 2, 0, 0}));
  l.SetCount(-3);
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Changed(), kChangedItems);
}

TEST(VXNumberLists, RangeAndCurrentSettersRaiseTheirOwnBit) {
  struct Case {
    const char* name;
    std::function<void(TVXIntegerList&)> setInt;
    std::function<void(TVXDoubleList&)> setDouble;
    uint8_t bit;
  };
  const Case cases[] = {
      {"min", [](auto& l) { l.SetRangeMin(1); }, [](auto& l) { l.SetRangeMin(1.5); },
       kChangedRange},
      {"max", [](auto& l) { l.SetRangeMax(9); }, [](auto& l) { l.SetRangeMax(9.5); },
       kChangedRange},
      {"step", [](auto& l) { l.SetRangeStep(2); }, [](auto& l) { l.SetRangeStep(0.25); },
       kChangedRange},
      {"current", [](auto& l) { l.SetCurrentValue(3); }, [](auto& l) { l.SetCurrentValue(3.5); },
       kChangedCurrent},
  };
  for (const Case& c : cases) {
    TVXIntegerList il;
    c.setInt(il);
    EXPECT_EQ(il.Changed(), c.bit) << c.name;
    il.Add(1);
    EXPECT_EQ(il.Changed(), c.bit | kChangedItems) << c.name;
    TVXDoubleList dl;
    c.setDouble(dl);
    EXPECT_EQ(dl.Changed(), c.bit) << c.name;
  }
}

TEST(VXNumberLists, ClearResetsItemsFlagsAndRanges) {
  TVXDoubleList l;
  l.Add(72.0);
  l.Add(300.0);
  l.SetRangeMin(50);
  l.SetRangeMax(1200);
  l.SetRangeStep(1);
  l.SetCurrentValue(300);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Changed(), 0);
  EXPECT_EQ(l.RangeMin(), 0.0);
  EXPECT_EQ(l.RangeMax(), 0.0);
  EXPECT_EQ(l.RangeStep(), 0.0);
  EXPECT_EQ(l.CurrentValue(), 0.0);
  EXPECT_EQ(l.ItemSize(), 8);
}

TEST(VXNumberLists, AssignCopiesItemsFlagsAndRanges) {
  TVXDoubleList a;
  a.Add(75.0);
  a.Add(150.0);
  a.SetRangeMin(50);
  a.SetRangeMax(600);
  a.SetRangeStep(25);
  a.SetCurrentValue(150);
  TVXDoubleList b;
  b.Add(1.0);
  b.Assign(a);
  EXPECT_EQ(b.Count(), 2);
  EXPECT_EQ(b.GetItem(0), 75.0);
  EXPECT_EQ(b.GetItem(1), 150.0);
  EXPECT_EQ(b.IndexOf(150.0), 1);
  EXPECT_EQ(b.RangeMin(), 50.0);
  EXPECT_EQ(b.RangeMax(), 600.0);
  EXPECT_EQ(b.RangeStep(), 25.0);
  EXPECT_EQ(b.CurrentValue(), 150.0);
  EXPECT_EQ(b.Changed(), a.Changed());

  // The copy is independent of its source.
  a.SetItem(0, 1.0);
  EXPECT_EQ(b.GetItem(0), 75.0);
  b.Assign(b);
  EXPECT_EQ(b.Count(), 2);
}

TEST(VXNumberLists, TypedAccessStaysInBoundsAfterAssigningNarrowerItems) {
  // Assign takes the item size of its source; the typed accessors must then cope with
  // items narrower than an int without reading or writing past them.
  TVXRecordList narrow(2);
  const uint8_t a[2] = {0x34, 0x12}, b[2] = {0x78, 0x56};
  narrow.Add(a);
  narrow.Add(b);
  TVXIntegerList l;
  l.SetRangeMax(5);
  l.Assign(narrow);
  EXPECT_EQ(l.ItemSize(), 2);
  EXPECT_EQ(l.RangeMax(), 5);  // not an integer list: the ranges stay
  EXPECT_EQ(l.GetItem(1), 0x5678);
  l.Add(0x7FFF0102);
  EXPECT_EQ(l.GetItem(2), 0x0102);
  EXPECT_EQ(l.IndexOf(0x5678), 1);
  l.Clear();
  EXPECT_EQ(l.ItemSize(), 4);
}

struct Rec {
  int32_t id;
  int16_t a, b;
  double v;
};

TEST(VXRecordList, RecordsRoundTripAndAliasingIsSafe) {
  TVXRecordList l(sizeof(Rec));
  const Rec r1{1, 2, 3, 4.5}, r2{7, 8, 9, 10.5};
  l.Add(&r1);
  l.Add(&r2);
  EXPECT_EQ(l.IndexOf(&r2), 1);
  Rec out;
  std::memcpy(&out, l.GetItem(1), sizeof out);
  EXPECT_EQ(out.id, 7);
  EXPECT_EQ(out.v, 10.5);
  EXPECT_EQ(l.GetItem(2), nullptr);

  // Items taken from the list itself: the block is rebuilt while the source is read.
  for (int i = 0; i < 8; ++i) l.Add(l.GetItem(i));
  l.Insert(0, l.GetItem(9));
  l.SetItem(1, l.GetItem(0));
  EXPECT_EQ(l.Count(), 11);
  std::memcpy(&out, l.GetItem(1), sizeof out);
  EXPECT_EQ(out.id, 7);

  l.Clear();
  EXPECT_EQ(l.ItemSize(), static_cast<int>(sizeof(Rec)));
  EXPECT_THROW(TVXRecordList(0), EInvalidOperation);
  EXPECT_THROW(TVXRecordList(-4), EInvalidOperation);
}

// ---- THash1 ----

TEST(Hash1, CollidingKeysShareAChain) {
  THash1 h(13);
  EXPECT_EQ(h.HashFunc(8192), 0u);
  EXPECT_EQ(h.HashFunc(0x12345678), 0x1678u);
  EXPECT_TRUE(h.Insert(0));
  EXPECT_EQ(h.SlotState(0), 1);
  EXPECT_TRUE(h.Insert(8192));
  EXPECT_EQ(h.SlotState(0), 2);
  EXPECT_FALSE(h.Insert(8192));
  EXPECT_FALSE(h.Insert(0));
  EXPECT_EQ(h.Count(), 2);
  EXPECT_TRUE(h.KeyPresent(0));
  EXPECT_TRUE(h.KeyPresent(8192));
  EXPECT_FALSE(h.KeyPresent(16384));
  EXPECT_FALSE(h.KeyPresent(1));
  EXPECT_EQ(h.SlotState(1), 0);
  EXPECT_EQ(h.SlotState(1u << 20), 0);  // outside the table
}

TEST(Hash1, AgreesWithUnorderedSetOnRandomKeys) {
  // Two slots make every chain long, so that table gets fewer keys.
  const struct { int bits, inserts; } runs[] = {{1, 4000}, {8, 100000}, {16, 100000}};
  for (const auto [bits, inserts] : runs) {
    std::mt19937 rng(1234 + bits);
    // A narrow key range forces repeats; the top bits vary so slots collide.
    std::uniform_int_distribution<uint32_t> key(0, 60000);
    THash1 h(bits);
    std::unordered_set<uint32_t> ref;
    for (int i = 0; i < inserts; ++i) {
      const uint32_t k = key(rng) * 70001u;
      ASSERT_EQ(h.Insert(k), ref.insert(k).second) << bits << " " << k;
    }
    EXPECT_EQ(h.Count(), static_cast<int64_t>(ref.size()));
    for (int i = 0; i < inserts / 5; ++i) {
      const uint32_t k = key(rng) * 70001u + (i & 1);
      ASSERT_EQ(h.KeyPresent(k), ref.count(k) == 1) << bits << " " << k;
    }
    h.Clear();
    EXPECT_EQ(h.Count(), 0);
    EXPECT_FALSE(h.KeyPresent(*ref.begin()));
    EXPECT_TRUE(h.Insert(*ref.begin()));
  }
}

TEST(Hash1, BitsAreClampedAndCopiesAreIndependent) {
  EXPECT_EQ(THash1(0).Bits(), THash1::kMinBits);
  EXPECT_EQ(THash1(-7).Bits(), THash1::kMinBits);
  THash1 big(99);
  EXPECT_EQ(big.Bits(), THash1::kMaxBits);
  EXPECT_TRUE(big.Insert(0xFFFFFFFFu));
  EXPECT_TRUE(big.Insert(0x00FFFFFFu));
  EXPECT_EQ(big.HashFunc(0xFFFFFFFFu), 0x00FFFFFFu);
  EXPECT_EQ(big.Count(), 2);

  THash1 a(4);
  a.Insert(3);
  THash1 b = a;
  b.Insert(19);
  EXPECT_FALSE(a.KeyPresent(19));
  THash1 c = std::move(b);
  EXPECT_TRUE(c.KeyPresent(19));
  EXPECT_TRUE(c.KeyPresent(3));
}

// ---- TVXByteArray ----

TEST(VXByteArray, CapacityFollowsGrowthAndShrinkRules) {
  struct Step {
    int64_t size, capacity;
  };
  // From (0, 4096): past the capacity -> n + 4096; shrinking keeps the block while
  // n >= capacity - 4096.
  const Step steps[] = {{4096, 4096}, {4097, 8193}, {5000, 8193}, {4097, 8193}, {4096, 8192},
                        {8192, 8192}, {10, 4106},   {4106, 4106}, {0, 4096},    {-5, 4096}};
  TVXByteArray a;
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.Capacity(), 4096);
  for (const Step& s : steps) {
    a.SetSize(s.size);
    EXPECT_EQ(a.Size(), std::max<int64_t>(s.size, 0)) << s.size;
    EXPECT_EQ(a.Capacity(), s.capacity) << s.size;
  }
}

TEST(VXByteArray, ContentSurvivesReallocation) {
  TVXByteArray a;
  for (int i = 0; i < 5000; ++i) a.AddByte(static_cast<uint8_t>(i * 7));
  EXPECT_EQ(a.Size(), 5000);
  EXPECT_EQ(a.Capacity(), 4097 + 4096);  // one reallocation, at the 4097th byte
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(a.Data()[i], static_cast<uint8_t>(i * 7)) << i;

  a.SetSize(10);
  EXPECT_EQ(a.Capacity(), 4106);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.Data()[i], static_cast<uint8_t>(i * 7)) << i;
  // Growing again within the block shows zeros, not the bytes from before the shrink.
  a.SetSize(4000);
  a.SetSize(20);
  a.SetSize(30);
  EXPECT_EQ(a.Data()[9], static_cast<uint8_t>(63));
  for (int i = 20; i < 30; ++i) EXPECT_EQ(a.Data()[i], 0) << i;

  TVXByteArray copy = a;
  a.Data()[0] = 0xEE;
  EXPECT_EQ(copy.Data()[0], 0);
  TVXByteArray moved = std::move(copy);
  EXPECT_EQ(moved.Size(), 30);
  copy.AddByte(5);  // a moved-from array is empty and usable
  EXPECT_EQ(copy.Size(), 1);
  EXPECT_EQ(copy.Data()[0], 5);

  a.Clear();
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.Capacity(), 4096);
}

// Claims a megabyte but delivers only `have` bytes, like a file truncated behind our back.
class ShortStream : public TStream {
 public:
  explicit ShortStream(int64_t have) : have_(have) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::max<int64_t>(0, std::min(count, have_ - pos_));
    std::memset(buffer, 9, static_cast<size_t>(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    pos_ = origin == soBeginning ? offset : origin == soCurrent ? pos_ + offset : Size() + offset;
    return pos_;
  }
  int64_t Size() override { return 1 << 20; }

 private:
  int64_t have_;
  int64_t pos_ = 0;
};

TEST(VXByteArray, AppendFromStreamTrimsToWhatWasRead) {
  std::vector<uint8_t> bytes(100);
  for (int i = 0; i < 100; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  TMemoryStream m(bytes);
  m.SetPosition(40);
  TVXByteArray a;
  a.AddByte(0xAA);
  EXPECT_EQ(a.AppendFromStream(m, 1000), 60);
  EXPECT_EQ(a.Size(), 61);
  EXPECT_EQ(a.Data()[0], 0xAA);
  EXPECT_EQ(a.Data()[1], 41);
  EXPECT_EQ(a.Data()[60], 100);
  EXPECT_EQ(a.Capacity(), 4096);  // the block was sized by the stream, not by 1000
  EXPECT_EQ(a.AppendFromStream(m, 10), 0);
  EXPECT_EQ(a.AppendFromStream(m, -1), 0);
  EXPECT_EQ(a.Size(), 61);

  // An absurd count must not become an absurd allocation.
  m.SetPosition(0);
  EXPECT_EQ(a.AppendFromStream(m, int64_t{1} << 50), 100);
  EXPECT_EQ(a.Size(), 161);

  ShortStream s(30);
  TVXByteArray b;
  EXPECT_EQ(b.AppendFromStream(s, 5000), 30);
  EXPECT_EQ(b.Size(), 30);
  EXPECT_EQ(b.Data()[29], 9);
  EXPECT_EQ(b.Capacity(), 4126);  // grown to 5000 + 4096, then trimmed back below 5000
}

// ---- TNulStream ----

TEST(NulStream, CountsWithoutStoring) {
  TNulStream s;
  const uint8_t data[10] = {};
  EXPECT_EQ(s.Write(data, 10), 10);
  EXPECT_EQ(s.Seek(4, soBeginning), 4);
  EXPECT_EQ(s.Write(data, 2), 2);
  EXPECT_EQ(s.Size(), 10);
  EXPECT_EQ(s.Position(), 6);

  uint8_t buf[8];
  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(s.Read(buf, 8), 8);
  EXPECT_EQ(s.Size(), 14);
  EXPECT_EQ(buf[7], 0);
  EXPECT_EQ(s.Write(nullptr, 0), 0);
  EXPECT_EQ(s.Write(nullptr, -3), 0);
  EXPECT_EQ(s.Read(nullptr, 6), 6);  // skipping without a buffer
  EXPECT_EQ(s.Size(), 20);

  // The stream helpers count as they would on a file.
  TNulStream t;
  WriteLE32(t, 1);
  SaveStringToStream(t, "hello");
  EXPECT_EQ(t.Size(), 13);
}

TEST(NulStream, SeeksLikeAMemoryStream) {
  // The counting stream stands in for a real output: every seek must land where a
  // memory stream of the same size lands.
  struct Case {
    int64_t offset;
    TSeekOrigin origin;
  };
  const Case cases[] = {{0, soEnd},        {-3, soEnd},       {-20, soEnd},   {5, soEnd},
                        {7, soBeginning},  {-1, soBeginning}, {2, soCurrent}, {-9, soCurrent},
                        {-100, soCurrent}, {0, soCurrent}};
  TNulStream n;
  TMemoryStream m;
  const std::vector<uint8_t> data(16, 1);
  n.WriteBuffer(data.data(), 16);
  m.WriteBuffer(data.data(), 16);
  for (const Case& c : cases) {
    EXPECT_EQ(n.Seek(c.offset, c.origin), m.Seek(c.offset, c.origin))
        << c.offset << " " << static_cast<int>(c.origin);
    EXPECT_EQ(n.Size(), 16);
  }
  n.Seek(16, soBeginning);
  EXPECT_EQ(n.Seek(INT64_MAX, soCurrent), 16);  // would overflow: refused

  n.SetSize(4);
  EXPECT_EQ(n.Size(), 4);
  EXPECT_LE(n.Position(), 4);
}

// ---- strings ----

TEST(StreamStrings, RoundTrip) {
  const std::string texts[] = {"", "a", "Grüße, κόσμε", std::string("nul\0inside", 10),
                               std::string(70000, 'x')};
  TMemoryStream m;
  for (const std::string& t : texts) SaveStringToStream(m, t);
  // Little-endian length first.
  EXPECT_EQ(m.Data()[4], 1);
  EXPECT_EQ(m.Data()[5], 0);
  EXPECT_EQ(m.Data()[8], 'a');
  m.SetPosition(0);
  for (const std::string& t : texts) {
    std::string s = "old";
    LoadStringFromStream(m, s);
    EXPECT_EQ(s, t);
  }
  EXPECT_EQ(m.Position(), m.Size());
}

TEST(StreamStrings, CorruptLengthFailsCleanly) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"huge", {0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'}},
      {"negative", {0x00, 0x00, 0x00, 0x80, 'a', 'b'}},
      {"one past", {0x03, 0x00, 0x00, 0x00, 'a', 'b'}},
      {"short header", {0x02, 0x00}},
      {"empty", {}},
  };
  for (const Case& c : cases) {
    TMemoryStream m(c.bytes);
    std::string s = "keep";
    EXPECT_THROW(LoadStringFromStream(m, s), EReadError) << c.name;
    EXPECT_EQ(s, "keep") << c.name;
    EXPECT_EQ(m.Position(), 0) << c.name;
  }
  TMemoryStream ok(std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00, 'a', 'b'});
  std::string s;
  LoadStringFromStream(ok, s);
  EXPECT_EQ(s, "ab");
}

}  // namespace

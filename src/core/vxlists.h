#pragma once
// Small building blocks shared by the components: flat lists of fixed-size items with
// change flags and value ranges, an integer hash set, a growable byte buffer, a stream
// that only counts bytes, and length-prefixed strings.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace vx {

// Bits of TVXList::Changed().
inline constexpr uint8_t kChangedItems = 1;    // items added, removed or rewritten
inline constexpr uint8_t kChangedRange = 2;    // RangeMin, RangeMax or RangeStep set
inline constexpr uint8_t kChangedCurrent = 4;  // CurrentValue set

// A contiguous block of Count() items of ItemSize() bytes each. Every change
// reallocates the block to exactly Count() * ItemSize() bytes: these lists hold a
// handful of capability values, so a tight block matters more than append speed.
//
// Indices are checked everywhere: an index outside 0..Count()-1 never reads or
// writes outside the block (see each operation for what it does instead).
class TVXList {
 public:
  explicit TVXList(int itemSize);
  virtual ~TVXList() = default;
  TVXList(const TVXList&) = default;
  TVXList& operator=(const TVXList&) = default;

  int Count() const { return count_; }
  int ItemSize() const { return itemSize_; }
  uint8_t Changed() const { return changed_; }
  // Callers clear the flags once they have applied the changes.
  void SetChanged(uint8_t flags) { changed_ = flags; }

  // Frees the block; Count 0, Changed 0.
  virtual void Clear();
  // Resizes to n items (negative: 0), keeping the first min(old, n); new items are zero.
  void SetCount(int n);
  // Appends a copy of the ItemSize() bytes at p; returns its index.
  int AddItem(const void* p);
  // Inserts before position i; i >= Count() appends, i < 0 inserts at the front.
  void InsertItem(int i, const void* p);
  // Removes item i; does nothing (and leaves the flags alone) outside 0..Count()-1.
  void Delete(int i);
  // Index of the first item whose bytes equal those at p, else -1.
  int IndexOfItem(const void* p) const;
  // Address of item i, or nullptr outside 0..Count()-1. The address is valid until the
  // next change of the list.
  uint8_t* BaseGetItem(int i);
  const uint8_t* BaseGetItem(int i) const;
  // Copies the bytes at p into item i when 0 <= i < Count(); otherwise does nothing.
  void BaseSetItem(int i, const void* p);
  // Copies count, item size, flags and items (the typed lists also copy their ranges
  // when other is of the same kind).
  virtual void Assign(const TVXList& other);

 protected:
  void SetItemSize(int itemSize);

 private:
  void Replace(std::vector<uint8_t> next, int count);

  std::vector<uint8_t> data_;
  int count_ = 0;
  int itemSize_ = 0;
  uint8_t changed_ = 0;
};

// A list of numbers of type T with a range min..max in steps of step and a current
// value: the value is either one of the items or lies in the range.
template <class T>
class TVXNumberList : public TVXList {
 public:
  TVXNumberList() : TVXList(static_cast<int>(sizeof(T))) {}

  void Clear() override;
  void Assign(const TVXList& other) override;

  int Add(T v);
  void Insert(int i, T v);
  int IndexOf(T v) const;
  // The value of item i; 0 when i is outside 0..Count()-1.
  T GetItem(int i) const;
  // Sets item i when 0 <= i < Count(); otherwise does nothing.
  void SetItem(int i, T v);

  T RangeMin() const { return rangeMin_; }
  T RangeMax() const { return rangeMax_; }
  T RangeStep() const { return rangeStep_; }
  T CurrentValue() const { return currentValue_; }
  void SetRangeMin(T v);
  void SetRangeMax(T v);
  void SetRangeStep(T v);
  void SetCurrentValue(T v);

 private:
  // An item's bytes for v. After Assign from a list of another item size the items are
  // no longer sizeof(T) wide: the value then fills the leading bytes, the rest is zero.
  std::vector<uint8_t> ItemBytes(T v) const;

  T rangeMin_{};
  T rangeMax_{};
  T rangeStep_{};
  T currentValue_{};
};

static_assert(sizeof(int) == 4, "TVXIntegerList items are 4 bytes");
extern template class TVXNumberList<int>;
extern template class TVXNumberList<double>;

// Item size 4.
class TVXIntegerList : public TVXNumberList<int> {};
// Item size 8.
class TVXDoubleList : public TVXNumberList<double> {};

// A list of fixed-size records whose size is given at construction.
class TVXRecordList : public TVXList {
 public:
  // Throws EInvalidOperation when itemSize is not positive.
  explicit TVXRecordList(int itemSize);

  // Frees the block and restores the item size given at construction.
  void Clear() override;

  int Add(const void* p) { return AddItem(p); }
  void Insert(int i, const void* p) { InsertItem(i, p); }
  int IndexOf(const void* p) const { return IndexOfItem(p); }
  // Address of record i, or nullptr outside 0..Count()-1.
  void* GetItem(int i) { return BaseGetItem(i); }
  const void* GetItem(int i) const { return BaseGetItem(i); }
  void SetItem(int i, const void* p) { BaseSetItem(i, p); }

 private:
  int initialItemSize_;
};

// A set of 32-bit keys in 2^bits slots; slot of a key = key and (2^bits - 1). A slot
// is empty (state 0), holds one key (state 1) or a chain of nodes (state 2).
class THash1 {
 public:
  static constexpr int kMinBits = 1;
  static constexpr int kMaxBits = 24;

  // bits outside kMinBits..kMaxBits is clamped to that range: the slot count only
  // affects speed and memory, never which keys are found, and 2^24 slots already give
  // every 24-bit colour its own slot (about 80 MB).
  explicit THash1(int bits);
  // Copyable; moving copies too, so a moved-from set stays a valid (unchanged) set.
  THash1(const THash1&) = default;
  THash1& operator=(const THash1&) = default;

  // Adds key; true when it was new (Count() grows), false when already present.
  bool Insert(uint32_t key);
  bool KeyPresent(uint32_t key) const;
  uint32_t HashFunc(uint32_t key) const { return key & mask_; }
  int64_t Count() const { return count_; }
  int Bits() const { return bits_; }
  // State of slot (0 empty, 1 one key, 2 chain); 0 for a slot outside the table.
  uint8_t SlotState(uint32_t slot) const;
  // Removes every key.
  void Clear();

 private:
  struct Node {
    uint32_t key;
    uint32_t next;  // index into nodes_, kNoNode at the end of a chain
  };
  static constexpr uint32_t kNoNode = 0xFFFFFFFFu;

  uint32_t NewNode(uint32_t key, uint32_t next);

  int bits_;
  uint32_t mask_;
  std::vector<uint8_t> state_;
  std::vector<uint32_t> slot_;  // state 1: the key; state 2: the first node of the chain
  std::vector<Node> nodes_;
  int64_t count_ = 0;
};

// A growable byte buffer that grows in blocks of 4096 bytes.
class TVXByteArray {
 public:
  static constexpr int64_t kBlock = 4096;

  TVXByteArray();
  TVXByteArray(const TVXByteArray& other);
  TVXByteArray& operator=(const TVXByteArray& other);
  // A moved-from array is empty, with no block until it next grows.
  TVXByteArray(TVXByteArray&& other) noexcept;
  TVXByteArray& operator=(TVXByteArray&& other) noexcept;

  void AddByte(uint8_t b);
  // n > capacity: a new block of n + 4096 bytes, the content copied. Shrinking keeps the
  // block while n >= capacity - 4096, else moves the first n bytes to a block of
  // n + 4096. Growing within the capacity only changes the size. New bytes are zero;
  // a negative n counts as 0.
  void SetSize(int64_t n);
  // Reads up to n bytes from the stream's position onto the end; returns the bytes
  // actually read (the size is trimmed to them). Never reserves more than the stream
  // still holds.
  int64_t AppendFromStream(TStream& stream, int64_t n);
  // Size 0 and a fresh block of 4096 bytes.
  void Clear();

  int64_t Size() const { return size_; }
  int64_t Capacity() const { return capacity_; }
  uint8_t* Data() { return data_.get(); }
  const uint8_t* Data() const { return data_.get(); }

 private:
  void Reallocate(int64_t capacity, int64_t keep);

  std::unique_ptr<uint8_t[]> data_;
  int64_t size_ = 0;
  int64_t capacity_ = 0;
};

// A stream that stores nothing and only counts: encoders write into it to learn how
// many bytes their output would take.
class TNulStream : public TStream {
 public:
  // Advance the position by count and return it; the size follows the largest position
  // reached. Read fills the buffer (when given) with zeros.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Offsets are added to the origin, as for the file and memory streams (from the end:
  // size + offset), so an encoder seeks here exactly as in a real file. A target before
  // the start leaves the position unchanged. Returns the position.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  // Sets the size (negative: 0); the position is pulled back to it when beyond.
  void SetSize(int64_t newSize) override;

 private:
  int64_t Advance(int64_t count);

  int64_t position_ = 0;
  int64_t size_ = 0;
};

// Writes the length of s as 32-bit little-endian and then its bytes. Throws
// EWriteError when s is longer than 2^31 - 1 bytes or the stream takes less.
void SaveStringToStream(TStream& stream, const std::string& s);
// Reads a string written by SaveStringToStream. Throws EReadError when the length is
// missing, exceeds what the stream still holds, or the bytes are short; s is then left
// unchanged and the stream is put back where it was.
void LoadStringFromStream(TStream& stream, std::string& s);

}  // namespace vx

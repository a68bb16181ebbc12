#include "core/vxlists.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/exceptions.h"

namespace vx {

namespace {
// An empty vector's data() may be null, and memcpy does not accept null even for zero
// bytes.
void CopyBytes(void* dst, const void* src, size_t n) {
  if (n > 0) std::memcpy(dst, src, n);
}
}  // namespace

// ---- TVXList ----

TVXList::TVXList(int itemSize) {
  SetItemSize(itemSize);
}

void TVXList::SetItemSize(int itemSize) {
  if (itemSize <= 0) throw EInvalidOperation("list item size must be positive");
  itemSize_ = itemSize;
}

void TVXList::Replace(std::vector<uint8_t> next, int count) {
  data_ = std::move(next);
  count_ = count;
  changed_ |= kChangedItems;
}

void TVXList::Clear() {
  data_ = std::vector<uint8_t>();
  count_ = 0;
  changed_ = 0;
}

void TVXList::SetCount(int n) {
  n = std::max(n, 0);
  const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(itemSize_);
  std::vector<uint8_t> next(bytes);
  CopyBytes(next.data(), data_.data(), std::min(bytes, data_.size()));
  Replace(std::move(next), n);
}

int TVXList::AddItem(const void* p) {
  InsertItem(count_, p);
  return count_ - 1;
}

void TVXList::InsertItem(int i, const void* p) {
  if (count_ == std::numeric_limits<int>::max()) throw EOutOfResources("list is full");
  i = std::clamp(i, 0, count_);
  const size_t size = static_cast<size_t>(itemSize_);
  const size_t at = static_cast<size_t>(i) * size;
  std::vector<uint8_t> next(data_.size() + size);
  CopyBytes(next.data(), data_.data(), at);
  CopyBytes(next.data() + at, p, size);
  CopyBytes(next.data() + at + size, data_.data() + at, data_.size() - at);
  Replace(std::move(next), count_ + 1);
}

void TVXList::Delete(int i) {
  if (i < 0 || i >= count_) return;
  const size_t size = static_cast<size_t>(itemSize_);
  const size_t at = static_cast<size_t>(i) * size;
  std::vector<uint8_t> next(data_.size() - size);
  CopyBytes(next.data(), data_.data(), at);
  CopyBytes(next.data() + at, data_.data() + at + size, data_.size() - at - size);
  Replace(std::move(next), count_ - 1);
}

int TVXList::IndexOfItem(const void* p) const {
  const size_t size = static_cast<size_t>(itemSize_);
  for (int i = 0; i < count_; ++i)
    if (std::memcmp(data_.data() + static_cast<size_t>(i) * size, p, size) == 0) return i;
  return -1;
}

uint8_t* TVXList::BaseGetItem(int i) {
  if (i < 0 || i >= count_) return nullptr;
  return data_.data() + static_cast<size_t>(i) * static_cast<size_t>(itemSize_);
}

const uint8_t* TVXList::BaseGetItem(int i) const {
  return const_cast<TVXList*>(this)->BaseGetItem(i);
}

void TVXList::BaseSetItem(int i, const void* p) {
  uint8_t* item = BaseGetItem(i);
  if (!item) return;
  std::memmove(item, p, static_cast<size_t>(itemSize_));
  changed_ |= kChangedItems;
}

void TVXList::Assign(const TVXList& other) {
  if (&other == this) return;
  // The block is rebuilt at its exact size rather than inheriting other's capacity.
  data_ = std::vector<uint8_t>(other.data_.begin(), other.data_.end());
  count_ = other.count_;
  itemSize_ = other.itemSize_;
  changed_ = other.changed_;
}

// ---- TVXNumberList ----

template <class T>
std::vector<uint8_t> TVXNumberList<T>::ItemBytes(T v) const {
  std::vector<uint8_t> bytes(static_cast<size_t>(ItemSize()));
  std::memcpy(bytes.data(), &v, std::min(bytes.size(), sizeof(T)));
  return bytes;
}

template <class T>
void TVXNumberList<T>::Clear() {
  TVXList::Clear();
  SetItemSize(static_cast<int>(sizeof(T)));
  rangeMin_ = rangeMax_ = rangeStep_ = currentValue_ = T{};
}

template <class T>
void TVXNumberList<T>::Assign(const TVXList& other) {
  TVXList::Assign(other);
  if (const auto* o = dynamic_cast<const TVXNumberList<T>*>(&other)) {
    rangeMin_ = o->rangeMin_;
    rangeMax_ = o->rangeMax_;
    rangeStep_ = o->rangeStep_;
    currentValue_ = o->currentValue_;
  }
}

template <class T>
int TVXNumberList<T>::Add(T v) {
  return AddItem(ItemBytes(v).data());
}

template <class T>
void TVXNumberList<T>::Insert(int i, T v) {
  InsertItem(i, ItemBytes(v).data());
}

template <class T>
int TVXNumberList<T>::IndexOf(T v) const {
  return IndexOfItem(ItemBytes(v).data());
}

template <class T>
T TVXNumberList<T>::GetItem(int i) const {
  T v{};
  if (const uint8_t* item = BaseGetItem(i))
    std::memcpy(&v, item, std::min(sizeof(T), static_cast<size_t>(ItemSize())));
  return v;
}

template <class T>
void TVXNumberList<T>::SetItem(int i, T v) {
  BaseSetItem(i, ItemBytes(v).data());
}

template <class T>
void TVXNumberList<T>::SetRangeMin(T v) {
  rangeMin_ = v;
  SetChanged(Changed() | kChangedRange);
}

template <class T>
void TVXNumberList<T>::SetRangeMax(T v) {
  rangeMax_ = v;
  SetChanged(Changed() | kChangedRange);
}

template <class T>
void TVXNumberList<T>::SetRangeStep(T v) {
  rangeStep_ = v;
  SetChanged(Changed() | kChangedRange);
}

template <class T>
void TVXNumberList<T>::SetCurrentValue(T v) {
  currentValue_ = v;
  SetChanged(Changed() | kChangedCurrent);
}

template class TVXNumberList<int>;
template class TVXNumberList<double>;

// ---- TVXRecordList ----

TVXRecordList::TVXRecordList(int itemSize) : TVXList(itemSize), initialItemSize_(itemSize) {}

void TVXRecordList::Clear() {
  TVXList::Clear();
  SetItemSize(initialItemSize_);
}

// ---- THash1 ----

THash1::THash1(int bits)
    : bits_(std::clamp(bits, kMinBits, kMaxBits)),
      mask_((1u << bits_) - 1),
      state_(size_t{1} << bits_),
      slot_(size_t{1} << bits_) {}

uint32_t THash1::NewNode(uint32_t key, uint32_t next) {
  if (nodes_.size() >= kNoNode) throw EOutOfResources("hash set is full");
  nodes_.push_back({key, next});
  return static_cast<uint32_t>(nodes_.size() - 1);
}

bool THash1::Insert(uint32_t key) {
  const uint32_t s = HashFunc(key);
  switch (state_[s]) {
    case 0:
      state_[s] = 1;
      slot_[s] = key;
      break;
    case 1: {
      if (slot_[s] == key) return false;
      // The slot's key moves into a chain together with the new one.
      const uint32_t first = NewNode(slot_[s], kNoNode);
      slot_[s] = NewNode(key, first);
      state_[s] = 2;
      break;
    }
    default:
      if (KeyPresent(key)) return false;
      slot_[s] = NewNode(key, slot_[s]);
      break;
  }
  ++count_;
  return true;
}

bool THash1::KeyPresent(uint32_t key) const {
  const uint32_t s = HashFunc(key);
  switch (state_[s]) {
    case 0:
      return false;
    case 1:
      return slot_[s] == key;
    default:
      for (uint32_t n = slot_[s]; n != kNoNode; n = nodes_[n].next)
        if (nodes_[n].key == key) return true;
      return false;
  }
}

uint8_t THash1::SlotState(uint32_t slot) const {
  return slot < state_.size() ? state_[slot] : uint8_t{0};
}

void THash1::Clear() {
  std::fill(state_.begin(), state_.end(), uint8_t{0});
  nodes_ = std::vector<Node>();
  count_ = 0;
}

// ---- TVXByteArray ----

TVXByteArray::TVXByteArray() {
  Reallocate(kBlock, 0);
}

TVXByteArray::TVXByteArray(const TVXByteArray& other)
    : data_(std::make_unique<uint8_t[]>(static_cast<size_t>(other.capacity_))),
      size_(other.size_),
      capacity_(other.capacity_) {
  if (size_ > 0) std::memcpy(data_.get(), other.data_.get(), static_cast<size_t>(size_));
}

TVXByteArray& TVXByteArray::operator=(const TVXByteArray& other) {
  if (&other != this) *this = TVXByteArray(other);
  return *this;
}

TVXByteArray::TVXByteArray(TVXByteArray&& other) noexcept
    : data_(std::move(other.data_)), size_(other.size_), capacity_(other.capacity_) {
  other.size_ = other.capacity_ = 0;
}

TVXByteArray& TVXByteArray::operator=(TVXByteArray&& other) noexcept {
  if (&other != this) {
    data_ = std::move(other.data_);
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.size_ = other.capacity_ = 0;
  }
  return *this;
}

void TVXByteArray::Reallocate(int64_t capacity, int64_t keep) {
  auto next = std::make_unique<uint8_t[]>(static_cast<size_t>(capacity));  // zeroed
  if (keep > 0) std::memcpy(next.get(), data_.get(), static_cast<size_t>(keep));
  data_ = std::move(next);
  capacity_ = capacity;
}

void TVXByteArray::AddByte(uint8_t b) {
  SetSize(size_ + 1);
  data_[static_cast<size_t>(size_ - 1)] = b;
}

void TVXByteArray::SetSize(int64_t n) {
  n = std::max<int64_t>(n, 0);
  if (n > capacity_) {
    if (n > std::numeric_limits<int64_t>::max() - kBlock) throw EOutOfResources("byte array");
    Reallocate(n + kBlock, size_);
  } else if (n > size_) {
    // Bytes past the old size may hold data from before a shrink; they read as zero.
    std::memset(data_.get() + size_, 0, static_cast<size_t>(n - size_));
  } else if (n < capacity_ - kBlock) {
    Reallocate(n + kBlock, n);
  }
  size_ = n;
}

int64_t TVXByteArray::AppendFromStream(TStream& stream, int64_t n) {
  if (n <= 0) return 0;
  // Size the buffer by what the stream can still deliver, so a bogus count taken from a
  // file does not turn into a huge allocation.
  const int64_t left = stream.Size() - stream.Position();
  n = std::min(n, std::max<int64_t>(left, 0));
  if (n == 0) return 0;
  const int64_t start = size_;
  SetSize(start + n);
  int64_t got = stream.Read(data_.get() + start, n);
  got = std::clamp<int64_t>(got, 0, n);
  SetSize(start + got);
  return got;
}

void TVXByteArray::Clear() {
  Reallocate(kBlock, 0);
  size_ = 0;
}

// ---- TNulStream ----

int64_t TNulStream::Advance(int64_t count) {
  if (count <= 0) return 0;
  count = std::min(count, std::numeric_limits<int64_t>::max() - position_);
  position_ += count;
  size_ = std::max(size_, position_);
  return count;
}

int64_t TNulStream::Read(void* buffer, int64_t count) {
  const int64_t n = Advance(count);
  if (buffer && n > 0) std::memset(buffer, 0, static_cast<size_t>(n));
  return n;
}

int64_t TNulStream::Write(const void*, int64_t count) {
  return Advance(count);
}

int64_t TNulStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
  // Targets before the start, or beyond what int64_t holds, leave the position alone.
  if (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) return position_;
  const int64_t target = base + offset;
  if (target >= 0) position_ = target;
  return position_;
}

void TNulStream::SetSize(int64_t newSize) {
  size_ = std::max<int64_t>(newSize, 0);
  position_ = std::min(position_, size_);
}

// ---- strings ----

void SaveStringToStream(TStream& stream, const std::string& s) {
  if (s.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw EWriteError("string too long for a 32-bit length");
  WriteLE32(stream, static_cast<uint32_t>(s.size()));
  stream.WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
}

void LoadStringFromStream(TStream& stream, std::string& s) {
  const int64_t start = stream.Position();
  try {
    const uint32_t len = ReadLE32(stream);
    // Lengths are written as signed 32-bit values; a set top bit means damage.
    if (len > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ||
        static_cast<int64_t>(len) > stream.Size() - stream.Position())
      throw EReadError("string length exceeds the stream");
    std::string text(len, '\0');
    stream.ReadBuffer(text.data(), static_cast<int64_t>(len));
    s = std::move(text);
  } catch (const EReadError&) {
    stream.Seek(start, soBeginning);
    throw;
  }
}

}  // namespace vx

#include "platform/stream.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/exceptions.h"

namespace vx {

int64_t TStream::Size() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw EInvalidOperation("stream size cannot be changed");
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError("stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) {
    const std::string why = ErrorText();
    throw EWriteError(why.empty() ? "stream write error" : "stream write error: " + why);
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
  int64_t done = 0;
  while (done < count) {
    const int64_t n = std::min<int64_t>(count - done, static_cast<int64_t>(buf.size()));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    done += n;
  }
  return done;
}

namespace {
template <size_t N>
bool ReadBytes(TStream& s, uint8_t (&b)[N]) {
  return s.Read(b, N) == static_cast<int64_t>(N);
}
}  // namespace

uint8_t ReadU8(TStream& s) {
  uint8_t b[1];
  if (!ReadBytes(s, b)) throw EReadError("stream read error");
  return b[0];
}

bool TryReadLE16(TStream& s, uint16_t& v) {
  uint8_t b[2];
  if (!ReadBytes(s, b)) return false;
  v = static_cast<uint16_t>(b[0] | (b[1] << 8));
  return true;
}
bool TryReadLE32(TStream& s, uint32_t& v) {
  uint8_t b[4];
  if (!ReadBytes(s, b)) return false;
  v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
  return true;
}
bool TryReadBE16(TStream& s, uint16_t& v) {
  uint8_t b[2];
  if (!ReadBytes(s, b)) return false;
  v = static_cast<uint16_t>((b[0] << 8) | b[1]);
  return true;
}
bool TryReadBE32(TStream& s, uint32_t& v) {
  uint8_t b[4];
  if (!ReadBytes(s, b)) return false;
  v = (static_cast<uint32_t>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
  return true;
}

namespace {
template <class T, bool (*TryRead)(TStream&, T&)>
T ReadOrThrow(TStream& s) {
  T v;
  if (!TryRead(s, v)) throw EReadError("stream read error");
  return v;
}
}  // namespace

uint16_t ReadLE16(TStream& s) {
  return ReadOrThrow<uint16_t, TryReadLE16>(s);
}
uint32_t ReadLE32(TStream& s) {
  return ReadOrThrow<uint32_t, TryReadLE32>(s);
}
uint16_t ReadBE16(TStream& s) {
  return ReadOrThrow<uint16_t, TryReadBE16>(s);
}
uint32_t ReadBE32(TStream& s) {
  return ReadOrThrow<uint32_t, TryReadBE32>(s);
}

void WriteU8(TStream& s, uint8_t v) {
  s.WriteBuffer(&v, 1);
}
void WriteLE16(TStream& s, uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  s.WriteBuffer(b, 2);
}
void WriteLE32(TStream& s, uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  s.WriteBuffer(b, 4);
}
void WriteBE16(TStream& s, uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  s.WriteBuffer(b, 2);
}
void WriteBE32(TStream& s, uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  s.WriteBuffer(b, 4);
}

int64_t ReadNoThrow(TStream& s, void* buffer, int64_t count) noexcept {
  try {
    return s.Read(buffer, count);
  } catch (...) {
    return -1;
  }
}

bool WriteNoThrow(TStream& s, const void* buffer, int64_t count) noexcept {
  try {
    return s.Write(buffer, count) == count;
  } catch (...) {
    return false;
  }
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName) {
  const char* m = "rb";
  switch (mode) {
    case fmOpenRead:
      m = "rb";
      break;
    case fmOpenWrite:
    case fmOpenReadWrite:
      m = "r+b";
      break;
    case fmCreate:
      m = "w+b";
      break;
  }
  file_ = std::fopen(fileName.c_str(), m);
  if (!file_) {
    const std::string why = std::strerror(errno);
    if (mode == fmCreate) throw EFCreateError("Cannot create file \"" + fileName + "\": " + why);
    throw EFOpenError("Cannot open file \"" + fileName + "\": " + why);
  }
}

TFileStream::~TFileStream() {
  if (file_) std::fclose(file_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (lastWasWrite_) {
    std::fflush(file_);
    lastWasWrite_ = false;
  }
  const size_t n = std::fread(buffer, 1, static_cast<size_t>(count), file_);
  if (n < static_cast<size_t>(count) && std::ferror(file_)) NoteError();
  return static_cast<int64_t>(n);
}

void TFileStream::NoteError() {
  if (errorText_.empty()) errorText_ = std::strerror(errno);
  std::clearerr(file_);
}

bool TFileStream::FlushBuffers() {
  if (std::fflush(file_) == 0) return true;
  NoteError();
  return false;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (!lastWasWrite_) {
    // Switching from reading to writing on a C stream needs a positioning call.
    std::fseek(file_, 0, SEEK_CUR);
    lastWasWrite_ = true;
  }
  const size_t n = std::fwrite(buffer, 1, static_cast<size_t>(count), file_);
  if (n < static_cast<size_t>(count)) NoteError();
  return static_cast<int64_t>(n);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  if (!(offset == 0 && origin == soCurrent)) {
    if (fseeko(file_, static_cast<off_t>(offset), whence) != 0) return ftello(file_);
    lastWasWrite_ = false;
  }
  return ftello(file_);
}

int64_t TFileStream::Size() {
  std::fflush(file_);
  return TStream::Size();
}

void TFileStream::SetSize(int64_t newSize) {
  std::fflush(file_);
  if (ftruncate(fileno(file_), static_cast<off_t>(newSize)) != 0)
    throw EWriteError("Cannot resize file \"" + fileName_ + "\": " + std::strerror(errno));
  if (Position() > newSize) Seek(newSize, soBeginning);
}

// ---- TMemoryStream ----

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || pos_ >= size) return 0;
  const int64_t n = std::min(count, size - pos_);
  std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > Size()) data_.resize(static_cast<size_t>(pos_ + count));
  std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
  pos_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t p = origin == soBeginning ? offset
              : origin == soCurrent ? pos_ + offset
                                    : Size() + offset;
  if (p >= 0) pos_ = p;
  return pos_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  newSize = std::max<int64_t>(newSize, 0);
  data_.resize(static_cast<size_t>(newSize));
  if (pos_ > newSize) pos_ = newSize;
}

void TMemoryStream::Clear() {
  data_.clear();
  pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  data_.resize(static_cast<size_t>(source.Size()));
  source.ReadBuffer(data_.data(), Size());
  pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  data_ = ReadWholeFile(fileName);
  pos_ = 0;
}

void TMemoryStream::SaveToStream(TStream& dest) {
  dest.WriteBuffer(data_.data(), Size());
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  WriteWholeFile(fileName, data_);
}

std::vector<uint8_t> ReadWholeFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  std::vector<uint8_t> data(static_cast<size_t>(f.Size()));
  f.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  return data;
}

void WriteWholeFile(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  auto file = std::make_unique<TFileStream>(fileName, fmCreate);
  try {
    file->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    if (!file->FlushBuffers())
      throw EWriteError("Cannot write file \"" + fileName + "\": " + file->ErrorText());
  } catch (const EWriteError&) {
    file.reset();
    std::error_code ignored;
    if (std::filesystem::is_regular_file(fileName, ignored)) std::remove(fileName.c_str());
    throw;
  }
}

}  // namespace vx

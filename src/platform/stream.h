#pragma once
// Byte streams: the abstract TStream and the file and memory streams, with helpers
// for little- and big-endian integers.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vx {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };
using enum TSeekOrigin;

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  virtual int64_t Size();
  virtual void SetSize(int64_t newSize);

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }

  // Whole-count variants: throw EReadError / EWriteError when short.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);

  // Copies count bytes from source (count 0: the whole source from its start).
  int64_t CopyFrom(TStream& source, int64_t count);

  // Why the last read or write fell short, as the system put it ("No space left on
  // device"); empty when nothing failed or the stream cannot tell.
  virtual std::string ErrorText() const { return {}; }
  // Hands buffered data to the system; false when it refused (see ErrorText).
  virtual bool FlushBuffers() { return true; }
};

// Integer helpers. The Read* forms throw EReadError at the end of the stream; the
// Try* forms report a short read by returning false.
uint8_t ReadU8(TStream& s);
uint16_t ReadLE16(TStream& s);
uint32_t ReadLE32(TStream& s);
uint16_t ReadBE16(TStream& s);
uint32_t ReadBE32(TStream& s);
bool TryReadLE16(TStream& s, uint16_t& v);
bool TryReadLE32(TStream& s, uint32_t& v);
bool TryReadBE16(TStream& s, uint16_t& v);
bool TryReadBE32(TStream& s, uint32_t& v);
void WriteU8(TStream& s, uint8_t v);
void WriteLE16(TStream& s, uint16_t v);
void WriteLE32(TStream& s, uint32_t v);
void WriteBE16(TStream& s, uint16_t v);
void WriteBE32(TStream& s, uint32_t v);

// For callbacks from C libraries, which must not be unwound by an exception: a read
// returns -1 and a write false when the stream throws.
int64_t ReadNoThrow(TStream& s, void* buffer, int64_t count) noexcept;
bool WriteNoThrow(TStream& s, const void* buffer, int64_t count) noexcept;

// Open modes of TFileStream.
enum class TFileMode { fmOpenRead, fmOpenWrite, fmOpenReadWrite, fmCreate };
using enum TFileMode;

class TFileStream : public TStream {
 public:
  // Throws EFOpenError (read modes) or EFCreateError (fmCreate) naming the file.
  TFileStream(const std::string& fileName, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;
  const std::string& FileName() const { return fileName_; }
  std::string ErrorText() const override { return errorText_; }
  bool FlushBuffers() override;

 private:
  void NoteError();

  std::FILE* file_ = nullptr;
  std::string fileName_;
  bool lastWasWrite_ = false;
  std::string errorText_;
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t newSize) override;

  void Clear();
  uint8_t* Memory() { return data_.data(); }
  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }
  void LoadFromStream(TStream& source);
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream& dest);
  void SaveToFile(const std::string& fileName);

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

// Reads a whole file into memory (throws EFOpenError).
std::vector<uint8_t> ReadWholeFile(const std::string& fileName);
// Creates (or truncates) the file with exactly these bytes. A file that cannot be
// written whole is not left behind half written (a device or pipe of that name is left
// where it is); throws EFCreateError / EWriteError naming the file and the system's reason.
void WriteWholeFile(const std::string& fileName, const std::vector<uint8_t>& bytes);

}  // namespace vx

#pragma once
// zlib helpers: whole-buffer compression and decompression, and streams that deflate
// into or inflate from another stream. Every zlib failure is raised as one of the
// exceptions below; nothing here reports through an abort flag.
#include <cstdint>
#include <vector>

#include <zlib.h>

#include "platform/event.h"
#include "platform/exceptions.h"
#include "platform/stream.h"

namespace vx {

class EZlibError : public EVXError {
 public:
  using EVXError::EVXError;
};
class ECompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};

// Deflate's largest possible expansion: one longest match (258 bytes) coded in two bits,
// a 1-bit length code and a 1-bit distance code, is 1032 output bytes for each input
// byte. Data claiming more output than this times its compressed size is not what it
// claims to be.
inline constexpr int64_t kMaxDeflateExpansion = 1032;

// zlib levels: clNone 0, clFastest 1, clDefault zlib's default, clMax 9. The members stay
// scoped (TCompressionLevel::clNone) because clNone is also a colour.
enum class TCompressionLevel { clNone, clFastest, clDefault, clMax };
int ZlibLevel(TCompressionLevel level);

// Deflates inBytes bytes at level 9 into outBuf (replaced); outBytes = outBuf.size().
// Zero input bytes give a valid empty zlib stream.
void CompressBuf(const void* inBuf, int64_t inBytes, std::vector<uint8_t>& outBuf,
                 int64_t& outBytes);

// Largest output DecompressBuf produces unless told otherwise.
inline constexpr int64_t kDecompressBufDefaultLimit = int64_t{1} << 30;

// Inflates a complete zlib stream into outBuf (replaced). outEstimate is only a hint for
// the first allocation (0 = none); it is never trusted beyond what the input can yield.
// Output beyond maxOutBytes raises EDecompressionError, as do damaged or incomplete data.
void DecompressBuf(const void* inBuf, int64_t inBytes, int64_t outEstimate,
                   std::vector<uint8_t>& outBuf, int64_t& outBytes,
                   int64_t maxOutBytes = kDecompressBufDefaultLimit);

// A stream bound to another stream (not owned) at that stream's current position.
class TCustomZlibStream : public TStream {
 public:
  static constexpr int kBufferSize = 65536;

  TCustomZlibStream(const TCustomZlibStream&) = delete;
  TCustomZlibStream& operator=(const TCustomZlibStream&) = delete;

  // Fired each time a buffer's worth went to or came from the bound stream.
  TNotifyEvent OnProgress;

 protected:
  explicit TCustomZlibStream(TStream& strm);
  void Progress() { OnProgress(nullptr); }

  TStream& strm_;
  int64_t strmPos_;
  z_stream zs_{};
  std::vector<uint8_t> buffer_;
};

// Deflates everything written to it into the destination stream.
class TCompressionStream : public TCustomZlibStream {
 public:
  TCompressionStream(TCompressionLevel level, TStream& dest);
  // Finishes the stream when Finish was not called; errors are swallowed here, so call
  // Finish to learn about them.
  ~TCompressionStream() override;

  int64_t Read(void* buffer, int64_t count) override;  // not allowed: throws
  int64_t Write(const void* buffer, int64_t count) override;
  // Only Seek(0, soCurrent), which returns the bytes taken in; anything else throws.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;  // throws

  // Ends the deflate stream and writes what is left; later writes throw.
  void Finish();
  // (1 - bytes out / bytes in) * 100; 0 before any input.
  double CompressionRate() const;

 private:
  void Flush(int64_t bytes);
  bool finished_ = false;
};

// Inflates the source stream's data on demand.
class TDecompressionStream : public TCustomZlibStream {
 public:
  explicit TDecompressionStream(TStream& source);
  ~TDecompressionStream() override;

  // Returns fewer bytes than asked only at the end of the data (or of the source).
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;  // not allowed: throws
  // Seek(0, soBeginning) restarts; forward seeks read and discard; others throw.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;  // throws

 private:
  int64_t startPos_;
  bool ended_ = false;
};

}  // namespace vx

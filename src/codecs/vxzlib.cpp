#include "codecs/vxzlib.h"

#include <algorithm>
#include <limits>
#include <string>

namespace vx {

namespace {

constexpr uInt kMaxChunk = std::numeric_limits<uInt>::max() / 2;

std::string ZMessage(const char* what, int code, const z_stream& zs) {
  std::string m = what;
  m += ": ";
  m += zs.msg ? zs.msg : zError(code);
  return m;
}

// End a whole-buffer helper's zlib stream on every way out of it, a failed allocation of
// the output block included.
struct DeflateEnder {
  z_stream& zs;
  ~DeflateEnder() { deflateEnd(&zs); }
};
struct InflateEnder {
  z_stream& zs;
  ~InflateEnder() { inflateEnd(&zs); }
};

}  // namespace

int ZlibLevel(TCompressionLevel level) {
  switch (level) {
    case TCompressionLevel::clNone:
      return Z_NO_COMPRESSION;
    case TCompressionLevel::clFastest:
      return Z_BEST_SPEED;
    case TCompressionLevel::clDefault:
      return Z_DEFAULT_COMPRESSION;
    case TCompressionLevel::clMax:
      return Z_BEST_COMPRESSION;
  }
  return Z_DEFAULT_COMPRESSION;
}

void CompressBuf(const void* inBuf, int64_t inBytes, std::vector<uint8_t>& outBuf,
                 int64_t& outBytes) {
  outBuf.clear();
  outBytes = 0;
  if (inBytes < 0 || (inBytes > 0 && !inBuf)) throw ECompressionError("invalid input block");
  z_stream zs{};
  int rc = deflateInit(&zs, Z_BEST_COMPRESSION);
  if (rc != Z_OK) throw ECompressionError(ZMessage("deflateInit", rc, zs));
  const DeflateEnder ender{zs};
  std::vector<uint8_t> out(static_cast<size_t>(
      std::max<int64_t>((inBytes + inBytes / 10 + 12 + 255) & ~int64_t{255}, 256)));
  const auto* in = static_cast<const Bytef*>(inBuf);
  int64_t inLeft = inBytes;
  int64_t produced = 0;
  for (;;) {
    if (zs.avail_in == 0 && inLeft > 0) {
      zs.next_in = const_cast<Bytef*>(in);
      zs.avail_in = static_cast<uInt>(std::min<int64_t>(inLeft, kMaxChunk));
      in += zs.avail_in;
      inLeft -= zs.avail_in;
    }
    if (produced == static_cast<int64_t>(out.size())) out.resize(out.size() + out.size() / 2 + 256);
    zs.next_out = out.data() + produced;
    zs.avail_out = static_cast<uInt>(
        std::min<int64_t>(static_cast<int64_t>(out.size()) - produced, kMaxChunk));
    const uInt before = zs.avail_out;
    rc = deflate(&zs, inLeft > 0 ? Z_NO_FLUSH : Z_FINISH);
    produced += before - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) throw ECompressionError(ZMessage("deflate", rc, zs));
  }
  out.resize(static_cast<size_t>(produced));
  out.shrink_to_fit();
  outBuf = std::move(out);
  outBytes = produced;
}

void DecompressBuf(const void* inBuf, int64_t inBytes, int64_t outEstimate,
                   std::vector<uint8_t>& outBuf, int64_t& outBytes, int64_t maxOutBytes) {
  outBuf.clear();
  outBytes = 0;
  if (inBytes < 0 || (inBytes > 0 && !inBuf)) throw EDecompressionError("invalid input block");
  const int64_t step = std::max<int64_t>((inBytes + 255) & ~int64_t{255}, 256);
  // What the input can possibly yield; a larger estimate is a lie we do not allocate for.
  const int64_t possible = inBytes * kMaxDeflateExpansion + 256;
  maxOutBytes = std::max<int64_t>(maxOutBytes, 0);
  // One byte of room beyond the allowed size tells "exactly at the limit" from "over it".
  const int64_t limit = std::min(maxOutBytes, possible) + 1;
  // The estimate only sizes the first block, and never beyond what is cheap to undo if
  // it was wrong; growth takes care of the rest.
  const int64_t firstCap = std::max<int64_t>(16 * step, int64_t{16} << 20);
  const int64_t first = std::min({outEstimate > 0 ? outEstimate : step, limit, firstCap});
  z_stream zs{};
  int rc = inflateInit(&zs);
  if (rc != Z_OK) throw EDecompressionError(ZMessage("inflateInit", rc, zs));
  const InflateEnder ender{zs};
  std::vector<uint8_t> out(static_cast<size_t>(first));
  const auto* in = static_cast<const Bytef*>(inBuf);
  int64_t inLeft = inBytes;
  int64_t produced = 0;
  auto fail = [&](const std::string& message) { throw EDecompressionError(message); };
  for (;;) {
    if (zs.avail_in == 0 && inLeft > 0) {
      zs.next_in = const_cast<Bytef*>(in);
      zs.avail_in = static_cast<uInt>(std::min<int64_t>(inLeft, kMaxChunk));
      in += zs.avail_in;
      inLeft -= zs.avail_in;
    }
    if (produced == static_cast<int64_t>(out.size())) {
      if (produced >= limit)
        fail(produced >= maxOutBytes
                 ? "decompressed data exceeds the limit of " + std::to_string(maxOutBytes) +
                       " bytes"
                 : std::string("decompressed data larger than its input can hold"));
      // Grow geometrically (at least by the input-sized step) so that large outputs
      // cost linear time, but never past the limit.
      const int64_t grow = std::max(step, produced);
      out.resize(static_cast<size_t>(std::min(limit, produced + grow)));
    }
    zs.next_out = out.data() + produced;
    zs.avail_out = static_cast<uInt>(
        std::min<int64_t>(static_cast<int64_t>(out.size()) - produced, kMaxChunk));
    const uInt before = zs.avail_out;
    rc = inflate(&zs, Z_NO_FLUSH);
    produced += before - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR)
      fail(ZMessage("inflate", rc == Z_NEED_DICT ? Z_DATA_ERROR : rc, zs));
    // No progress possible while there is room and no input left: the data is cut short.
    if (rc == Z_BUF_ERROR && inLeft == 0 && zs.avail_in == 0 && zs.avail_out != 0)
      fail("inflate: unexpected end of compressed data");
  }
  if (produced > maxOutBytes)
    fail("decompressed data exceeds the limit of " + std::to_string(maxOutBytes) + " bytes");
  out.resize(static_cast<size_t>(produced));
  out.shrink_to_fit();
  outBuf = std::move(out);
  outBytes = produced;
}

// ---- streams ----

TCustomZlibStream::TCustomZlibStream(TStream& strm)
    : strm_(strm), strmPos_(strm.Position()), buffer_(kBufferSize) {}

TCompressionStream::TCompressionStream(TCompressionLevel level, TStream& dest)
    : TCustomZlibStream(dest) {
  const int rc = deflateInit(&zs_, ZlibLevel(level));
  if (rc != Z_OK) throw ECompressionError(ZMessage("deflateInit", rc, zs_));
  zs_.next_out = buffer_.data();
  zs_.avail_out = kBufferSize;
}

TCompressionStream::~TCompressionStream() {
  try {
    Finish();
  } catch (...) {
    // A destructor cannot report; Finish does.
  }
  deflateEnd(&zs_);
}

void TCompressionStream::Flush(int64_t bytes) {
  if (bytes <= 0) return;
  if (strm_.Position() != strmPos_) strm_.SetPosition(strmPos_);
  if (strm_.Write(buffer_.data(), bytes) != bytes)
    throw ECompressionError("cannot write the compressed data");
  strmPos_ = strm_.Position();
  zs_.next_out = buffer_.data();
  zs_.avail_out = kBufferSize;
  Progress();
}

int64_t TCompressionStream::Read(void*, int64_t) {
  throw ECompressionError("a compression stream cannot be read");
}

int64_t TCompressionStream::Write(const void* buffer, int64_t count) {
  if (finished_) throw ECompressionError("the compression stream is finished");
  if (count <= 0) return 0;
  const auto* p = static_cast<const Bytef*>(buffer);
  int64_t left = count;
  while (left > 0) {
    zs_.next_in = const_cast<Bytef*>(p);
    zs_.avail_in = static_cast<uInt>(std::min<int64_t>(left, kMaxChunk));
    p += zs_.avail_in;
    left -= zs_.avail_in;
    while (zs_.avail_in > 0) {
      const int rc = deflate(&zs_, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_BUF_ERROR) throw ECompressionError(ZMessage("deflate", rc, zs_));
      if (zs_.avail_out == 0) Flush(kBufferSize);
    }
  }
  return count;
}

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == soCurrent) return static_cast<int64_t>(zs_.total_in);
  throw ECompressionError("a compression stream can only tell its position");
}

int64_t TCompressionStream::Size() {
  throw ECompressionError("a compression stream has no size");
}

void TCompressionStream::Finish() {
  if (finished_) return;
  finished_ = true;
  zs_.next_in = nullptr;
  zs_.avail_in = 0;
  for (;;) {
    const int rc = deflate(&zs_, Z_FINISH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
      throw ECompressionError(ZMessage("deflate", rc, zs_));
    if (rc == Z_STREAM_END) break;
    if (zs_.avail_out == 0) Flush(kBufferSize);
  }
  Flush(kBufferSize - static_cast<int64_t>(zs_.avail_out));
}

double TCompressionStream::CompressionRate() const {
  if (zs_.total_in == 0) return 0;
  return (1.0 - static_cast<double>(zs_.total_out) / static_cast<double>(zs_.total_in)) * 100.0;
}

TDecompressionStream::TDecompressionStream(TStream& source)
    : TCustomZlibStream(source), startPos_(strmPos_) {
  const int rc = inflateInit(&zs_);
  if (rc != Z_OK) throw EDecompressionError(ZMessage("inflateInit", rc, zs_));
  zs_.next_in = buffer_.data();
  zs_.avail_in = 0;
}

TDecompressionStream::~TDecompressionStream() {
  inflateEnd(&zs_);
}

int64_t TDecompressionStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || ended_) return 0;
  auto* out = static_cast<Bytef*>(buffer);
  int64_t produced = 0;
  while (produced < count) {
    if (zs_.avail_in == 0) {
      if (strm_.Position() != strmPos_) strm_.SetPosition(strmPos_);
      const int64_t n = strm_.Read(buffer_.data(), kBufferSize);
      if (n <= 0) return produced;  // the source is exhausted
      strmPos_ = strm_.Position();
      zs_.next_in = buffer_.data();
      zs_.avail_in = static_cast<uInt>(n);
      Progress();
    }
    zs_.next_out = out + produced;
    zs_.avail_out = static_cast<uInt>(std::min<int64_t>(count - produced, kMaxChunk));
    const uInt before = zs_.avail_out;
    const int rc = inflate(&zs_, Z_NO_FLUSH);
    produced += before - zs_.avail_out;
    if (rc == Z_STREAM_END) {
      ended_ = true;
      break;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR)
      throw EDecompressionError(ZMessage("inflate", rc == Z_NEED_DICT ? Z_DATA_ERROR : rc, zs_));
  }
  return produced;
}

int64_t TDecompressionStream::Write(const void*, int64_t) {
  throw EDecompressionError("a decompression stream cannot be written");
}

int64_t TDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  const auto position = static_cast<int64_t>(zs_.total_out);
  if (origin == soBeginning && offset == 0) {
    const int rc = inflateReset(&zs_);
    if (rc != Z_OK) throw EDecompressionError(ZMessage("inflateReset", rc, zs_));
    zs_.next_in = buffer_.data();
    zs_.avail_in = 0;
    ended_ = false;
    strmPos_ = startPos_;
    strm_.SetPosition(startPos_);
    return 0;
  }
  int64_t skip = -1;
  if (origin == soCurrent && offset >= 0) skip = offset;
  if (origin == soBeginning && offset >= position) skip = offset - position;
  if (skip < 0) throw EDecompressionError("a decompression stream can only seek forward");
  uint8_t scratch[4096];
  while (skip > 0) {
    const int64_t n = Read(scratch, std::min<int64_t>(skip, sizeof scratch));
    if (n <= 0) break;
    skip -= n;
  }
  return static_cast<int64_t>(zs_.total_out);
}

int64_t TDecompressionStream::Size() {
  throw EDecompressionError("a decompression stream has no size");
}

}  // namespace vx

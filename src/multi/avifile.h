#pragma once
// AVI video files, frame by frame, on FFmpeg (no Qt: the command-line tool and servers
// use it as the multi-image component does).
//
// Reading takes the first video stream of the file, decodes every frame of any codec
// FFmpeg decodes and hands each frame over as a bitmap: pf1bit for 1-bit frames, pf24bit
// for everything else. Every size the file claims is checked against the pixel limit
// before a bitmap is sized; a frame that cannot be read or decoded fails the progress
// record (Aborting) and ends the reading, and the frames handed over before stay valid.
//
// Writing makes one stream at a frame rate derived from the first image's delay, one
// key-framed sample per image, in the compressor chosen before the first frame.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/pngfilt.h"  // EInvalidGraphic
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

namespace vx {

// The first four characters of s as a little-endian 32-bit code ("vids" -> 0x73646976);
// a shorter string is padded with zero bytes.
constexpr uint32_t mmioFOURCC(std::string_view s) {
  uint32_t code = 0;
  for (size_t i = 0; i < 4 && i < s.size(); ++i)
    code |= static_cast<uint32_t>(static_cast<uint8_t>(s[i])) << (8 * i);
  return code;
}

// The message of the exception raised when an AVI file cannot be created.
inline constexpr const char* kAVICreateError = "unable to create AVI file";

// ---- compressors ----

// Stored as one byte; new members only ever go at the end.
enum class TAVICompressor : uint8_t {
  aviFullFrames,  // uncompressed 24-bit DIB rows
  aviMJPEG,       // Motion JPEG, Quality
  aviFFV1,        // lossless
  aviHuffyuv,     // lossless
  aviMPEG4        // MPEG-4 Part 2, BitRate
};
using enum TAVICompressor;

struct TAVICompressorOptions {
  TAVICompressor Compressor = aviFullFrames;
  // MJPEG quality, 1 (smallest) to 100 (best).
  int Quality = 75;
  // MPEG-4 bits per second.
  int64_t BitRate = 2000000;
};

// Every compressor this library writes, in the order a chooser lists them.
const std::vector<TAVICompressor>& AVICompressors();
// What a chooser shows ("Full frames (uncompressed)", "Motion JPEG", ...).
const char* AVICompressorCaption(TAVICompressor compressor);
// The short name the command line takes: "none", "mjpeg", "ffv1", "huffyuv", "mpeg4".
const char* AVICompressorName(TAVICompressor compressor);
// Parses a short name (case-insensitive; "raw" and "uncompressed" also mean aviFullFrames).
bool AVICompressorFromName(std::string_view name, TAVICompressor& compressor);
// Whether the encoder is present in the FFmpeg this process runs with.
bool AVICompressorAvailable(TAVICompressor compressor);

// Frame rate the writer uses for a first-image delay: trunc(1000 / max(delayMs, 1))
// frames per second.
int AVIRateFromDelay(int delayMs);
// Frame duration the reader gives for a rate: trunc(1000 / fps) ms.
int AVIDelayFromRate(double fps);

// ---- reading ----

enum class TAVIReadResult {
  avirFrame,  // a frame was decoded into the bitmap
  avirEnd,    // no more frames
  avirFailed  // the progress record was failed; the bitmap is as it was
};
using enum TAVIReadResult;

class TAVIReader {
 public:
  TAVIReader();
  ~TAVIReader();
  TAVIReader(const TAVIReader&) = delete;
  TAVIReader& operator=(const TAVIReader&) = delete;

  // Opens the file (or the stream, which must outlive the reader and is read from its
  // current position), takes its first video stream and prepares its decoder. False,
  // with progress failed and the reason recorded, when the file cannot be opened, is
  // not a video FFmpeg can demux, holds no video stream, has no decoder or claims a
  // size beyond the pixel limit. Never throws.
  bool Open(const std::string& fileName, const TProgressRec& progress);
  bool Open(TStream& stream, const TProgressRec& progress);
  void Close();
  bool IsOpen() const;

  // The frame count the file declares (0 when it declares none); reading goes on to the
  // last frame the file holds either way.
  int FrameCount() const;
  // Duration of one frame, trunc(1000 / fps) ms (0 when the file gives no rate).
  int DelayMs() const;
  double FramesPerSecond() const;
  // Size the stream declares; frames may differ and are sized as decoded.
  int Width() const;
  int Height() const;
  // Bits a pixel of the stored frames as a DIB would declare them: the stored count of
  // uncompressed frames (1, 4, 8, 15, 16, 24, 32), 24 for compressed ones.
  int BitCount() const;
  // FFmpeg's name of the codec ("mjpeg", "rawvideo", ...).
  std::string CodecName() const;
  // Frames handed over so far.
  int FramesRead() const;

  // Decoder threads FFmpeg may run inside ReadFrame (0: as many as the machine has).
  // The default, 1, keeps all the work on the caller's thread. Takes effect at Open.
  void SetDecoderThreads(int threads);
  int DecoderThreads() const;

  // Decodes the next frame into bitmap (sized through SizeImage). A frame the file
  // marks as dropped repeats the one before it, so that timing and count are kept.
  TAVIReadResult ReadFrame(TBitmap& bitmap, const TProgressRec& progress);

  // Fills the parameter set of the frame just read, as a multi-image load records it:
  // GIF_DelayTime = DelayMs(); BitsPerSample / SamplesPerPixel by BitCount (1 -> 1/1,
  // 4 -> 4/1, 8 -> 8/1, 15 -> 5/3, otherwise 8/3); GIF_ImageIndex and TIFF_ImageIndex =
  // index; DpiX / DpiY = the screen resolution; Width / Height = the bitmap's; FileName =
  // the file name given to Open (empty for a stream); FileType = ioUnknown; no colour map.
  void FillParams(TIOParamsVals& params, const TBitmap& bitmap, int index) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Receives each frame of ReadAVIFrames: the bitmap (the callee may take its contents
// with Swap), its filled parameter set and its position. Returning false stops reading.
using TAVIFrameSink = std::function<bool(TBitmap& bitmap, TIOParamsVals& params, int index)>;

// Reads every frame of the file in order, reporting trunc(i * 100 / frames) after each.
// Stops when the sink returns false or progress is aborted. Returns the number of frames
// handed to the sink; a failure (open, demux, decode) fails progress and keeps what was
// handed over.
int ReadAVIFrames(const std::string& fileName, const TAVIFrameSink& sink,
                  const TProgressRec& progress);

// ---- writing ----

class TAVIWriter {
 public:
  TAVIWriter();
  // Finishes the file when Finish has not been called (errors are then lost).
  ~TAVIWriter();
  TAVIWriter(const TAVIWriter&) = delete;
  TAVIWriter& operator=(const TAVIWriter&) = delete;

  // Creates the file (or writes into the stream, which must outlive the writer) for
  // frames of delayMs each (the rate is AVIRateFromDelay; delays over a second keep
  // their length instead of becoming a rate of 0). Throws EInvalidGraphic
  // (kAVICreateError) when the file cannot be created.
  void Create(const std::string& fileName, int delayMs, const TAVICompressorOptions& options = {});
  void Create(TStream& stream, int delayMs, const TAVICompressorOptions& options = {});

  // The compressor may still change until the first frame is added.
  void SetOptions(const TAVICompressorOptions& options);
  const TAVICompressorOptions& Options() const;
  // Frames per second and seconds per frame as written (rate / scale).
  int Rate() const;
  int Scale() const;

  // Adds one frame. The first frame fixes the reference size; a later frame of another
  // size is replaced by the last frame written at the reference size. pf1bit frames
  // are written as 24-bit pixels. False, with progress failed, when the encoder cannot
  // be opened or refuses the frame, or the file cannot be written.
  bool AddFrame(const TBitmap& bitmap, const TProgressRec& progress);
  int FramesWritten() const;
  int ReferenceWidth() const;
  int ReferenceHeight() const;

  // Flushes the encoder, writes the index and closes the file. False, with progress
  // failed, when the file could not be completed.
  bool Finish(const TProgressRec& progress);
  // Ends the save with an empty file (a cancelled compressor choice): nothing written
  // so far is kept, the file is left at zero bytes.
  void Cancel();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vx

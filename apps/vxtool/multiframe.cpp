#include "multiframe.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <cctype>

#include "codecs/giffilter.h"
#include "codecs/tiffilt.h"
#include "platform/exceptions.h"
#include "platform/stream.h"

namespace vxtool {

namespace {

std::string LowerExtension(const std::string& fileName) {
  const size_t dot = fileName.find_last_of('.');
  const size_t slash = fileName.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// The depth a page of this bitmap is written with.
void DepthFor(const vx::TBitmap& bitmap, vx::TIOParamsVals& params) {
  const bool mono = bitmap.PixelFormat() == vx::pf1bit;
  params.BitsPerSample = mono ? 1 : 8;
  params.SamplesPerPixel = mono ? 1 : 3;
}

// GIF and TIFF pages are gathered in memory and the file is written whole at the end, so
// that a failure leaves no half-written file behind.
class GifWriter : public FrameWriter {
 public:
  explicit GifWriter(std::string fileName) : fileName_(std::move(fileName)) {}
  bool Add(const vx::TBitmap& bitmap, int delayMs, vx::TProgressRec& progress) override {
    vx::TBitmap copy(bitmap);
    vx::TIOParamsVals params;
    DepthFor(copy, params);
    params.GIF_DelayTime = std::clamp((delayMs + 5) / 10, 0, 65535);
    params.GIF_ImageIndex = count_;
    stream_.SetPosition(0);
    if (count_ == 0)
      vx::WriteGifStream(stream_, copy, params, progress);
    else
      vx::InsertGifImStream(stream_, copy, params, progress);
    if (progress.Aborted()) {
      progress.Fail("GIF: image " + std::to_string(count_) + " cannot be written");
      return false;
    }
    ++count_;
    return true;
  }
  bool Finish(vx::TProgressRec&) override {
    vx::WriteWholeFile(fileName_, stream_.Data());
    // Frames of an animation loop for ever, as viewers expect of a joined animation.
    if (count_ > 1) vx::GifMakeAnimate(fileName_, 0, 0, 0);
    return true;
  }

 private:
  std::string fileName_;
  vx::TMemoryStream stream_;
  int count_ = 0;
};

class TiffWriter : public FrameWriter {
 public:
  TiffWriter(std::string fileName, vx::TIOTIFFCompression compression)
      : fileName_(std::move(fileName)), compression_(compression) {}
  bool Add(const vx::TBitmap& bitmap, int, vx::TProgressRec& progress) override {
    vx::TBitmap copy(bitmap);
    vx::TIOParamsVals params;
    DepthFor(copy, params);
    params.TIFF_Compression = compression_;
    params.TIFF_PhotometInterpret =
        copy.PixelFormat() == vx::pf1bit ? vx::ioTIFF_BLACKISZERO : vx::ioTIFF_RGB;
    params.TIFF_ImageIndex = count_;
    stream_.SetPosition(0);
    vx::TIFFWriteStream(stream_, count_ > 0, copy, params, progress);
    if (progress.Aborted()) {
      progress.Fail("TIFF: page " + std::to_string(count_) + " cannot be written");
      return false;
    }
    ++count_;
    return true;
  }
  bool Finish(vx::TProgressRec&) override {
    vx::WriteWholeFile(fileName_, stream_.Data());
    return true;
  }

 private:
  std::string fileName_;
  vx::TIOTIFFCompression compression_;
  vx::TMemoryStream stream_;
  int count_ = 0;
};

class AviWriter : public FrameWriter {
 public:
  AviWriter(std::string fileName, vx::TAVICompressorOptions options)
      : fileName_(std::move(fileName)), options_(options) {}
  bool Add(const vx::TBitmap& bitmap, int delayMs, vx::TProgressRec& progress) override {
    // The first image's delay sets the frame rate.
    if (!writer_) {
      writer_ = std::make_unique<vx::TAVIWriter>();
      writer_->Create(fileName_, delayMs, options_);
    }
    return writer_->AddFrame(bitmap, progress);
  }
  bool Finish(vx::TProgressRec& progress) override {
    if (!writer_) {
      // Nothing to write: leave an empty file, as a cancelled save does.
      vx::WriteWholeFile(fileName_, {});
      return true;
    }
    return writer_->Finish(progress);
  }

 private:
  std::string fileName_;
  vx::TAVICompressorOptions options_;
  std::unique_ptr<vx::TAVIWriter> writer_;
};

bool TiffCompressionFromName(const std::string& name, vx::TIOTIFFCompression& c) {
  if (name.empty() || name == "none")
    c = vx::ioTIFF_UNCOMPRESSED;
  else if (name == "lzw")
    c = vx::ioTIFF_LZW;
  else if (name == "packbits")
    c = vx::ioTIFF_PACKBITS;
  else if (name == "deflate")
    c = vx::ioTIFF_DEFLATE;
  else
    return false;
  return true;
}

// Reads image by image through a single-image reader that takes the image index from the
// parameter set and tells how many images the file has.
template <class ReadOne>
int ReadIndexed(const std::string& fileName, const FrameSink& sink, vx::TProgressRec& progress,
                ReadOne&& readOne) {
  vx::TFileStream stream(fileName, vx::fmOpenRead);
  int handed = 0;
  int count = 1;
  for (int i = 0; i < count && !progress.Aborted(); ++i) {
    vx::TBitmap bitmap;
    vx::TIOParamsVals params;
    stream.SetPosition(0);
    int delay = 0;
    count = readOne(stream, bitmap, params, i, delay);
    if (progress.Aborted() || count <= 0) break;
    if (!sink(FrameInfo{bitmap, params, i, delay})) break;
    ++handed;
    progress.Report(vx::PercentOf(handed, count));
  }
  return handed;
}

}  // namespace

void QuietFFmpeg() {
  av_log_set_level(AV_LOG_QUIET);
}

MultiFormat MultiFormatOf(const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  if (ext == ".gif") return MultiFormat::Gif;
  if (ext == ".tif" || ext == ".tiff") return MultiFormat::Tiff;
  if (ext == ".avi") return MultiFormat::Avi;
  return MultiFormat::None;
}

const char* MultiFormatName(MultiFormat format) {
  switch (format) {
    case MultiFormat::Gif:
      return "GIF";
    case MultiFormat::Tiff:
      return "TIFF";
    case MultiFormat::Avi:
      return "AVI";
    default:
      return "single image";
  }
}

int ReadAllFrames(const std::string& fileName, MultiFormat format, const FrameSink& sink,
                  vx::TProgressRec& progress) {
  QuietFFmpeg();
  switch (format) {
    case MultiFormat::Gif: {
      int defaultDelay = 10;
      return ReadIndexed(
          fileName, sink, progress,
          [&](vx::TStream& s, vx::TBitmap& b, vx::TIOParamsVals& p, int i, int& delay) {
            p.GIF_ImageIndex = i;
            int n = 0;
            vx::ReadGifStream(s, b, n, false, p, progress);
            if (p.GIF_DelayTime > 0) defaultDelay = p.GIF_DelayTime * 10;
            delay = defaultDelay;
            return n;
          });
    }
    case MultiFormat::Tiff:
      return ReadIndexed(
          fileName, sink, progress,
          [&](vx::TStream& s, vx::TBitmap& b, vx::TIOParamsVals& p, int i, int& delay) {
            p.TIFF_ImageIndex = i;
            int n = 0;
            vx::TIFFReadStream(&b, s, n, &p, progress, false);
            delay = 100;
            return n;
          });
    case MultiFormat::Avi:
      return vx::ReadAVIFrames(
          fileName,
          [&](vx::TBitmap& b, vx::TIOParamsVals& p, int i) {
            return sink(FrameInfo{b, p, i, p.GIF_DelayTime});
          },
          progress);
    default:
      progress.Fail("not a multi-image file (.gif, .tif, .tiff or .avi)");
      return 0;
  }
}

bool CheckCodec(MultiFormat format, const std::string& codec, std::string& error) {
  if (codec.empty()) return true;
  if (format == MultiFormat::Avi) {
    vx::TAVICompressor c;
    if (vx::AVICompressorFromName(codec, c)) {
      if (vx::AVICompressorAvailable(c)) return true;
      error = "the " + codec + " encoder is not in this FFmpeg";
      return false;
    }
    error = "unknown AVI codec \"" + codec + "\" (none, mjpeg, ffv1, huffyuv, mpeg4)";
    return false;
  }
  if (format == MultiFormat::Tiff) {
    vx::TIOTIFFCompression c;
    if (TiffCompressionFromName(codec, c)) return true;
    error = "unknown TIFF compression \"" + codec + "\" (none, lzw, packbits, deflate)";
    return false;
  }
  error = "--codec applies to AVI and TIFF output only";
  return false;
}

std::unique_ptr<FrameWriter> MakeFrameWriter(const std::string& fileName, MultiFormat format,
                                             const WriteSettings& settings) {
  QuietFFmpeg();
  switch (format) {
    case MultiFormat::Gif:
      return std::make_unique<GifWriter>(fileName);
    case MultiFormat::Tiff: {
      vx::TIOTIFFCompression c = vx::ioTIFF_UNCOMPRESSED;
      TiffCompressionFromName(settings.codec, c);
      return std::make_unique<TiffWriter>(fileName, c);
    }
    case MultiFormat::Avi: {
      vx::TAVICompressorOptions options;
      if (!settings.codec.empty()) vx::AVICompressorFromName(settings.codec, options.Compressor);
      options.Quality = settings.quality;
      return std::make_unique<AviWriter>(fileName, options);
    }
    default:
      throw vx::EInvalidOperation("not a multi-image file name (.gif, .tif, .tiff or .avi)");
  }
}

}  // namespace vxtool

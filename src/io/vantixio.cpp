#include "io/vantixio.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "acquire/imscan.h"
#include "acquire/twaindsm.h"
#include "acquire/twainparams.h"
#include "codecs/bmpfilt.h"
#include "codecs/giffilter.h"
#include "codecs/jpegfilt.h"
#include "codecs/pcxfilter.h"
#include "codecs/pngfilt.h"
#include "codecs/tiffilt.h"
#include "io/fileformats.h"
#include "io/iopreviewhook.h"
#include "io/metafile.h"
#include "metafile/metafileplayer.h"
#include "io/safesave.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "platform/imagehost.h"
#include "platform/screen.h"
#include "platform/stream.h"

namespace vx {

namespace {

constexpr int64_t kStreamHeaderSize = 12;

struct TStreamHeader {
  std::string magic;  // the 4 magic bytes up to the first zero
  uint32_t length = 0;
};

bool ReadStreamHeader(TStream& stream, TStreamHeader& h) {
  char raw[kStreamHeaderSize] = {};
  if (stream.Read(raw, kStreamHeaderSize) != kStreamHeaderSize) return false;
  h.magic.assign(raw, strnlen(raw, 4));
  h.length = static_cast<uint8_t>(raw[8]) | (static_cast<uint8_t>(raw[9]) << 8) |
             (static_cast<uint8_t>(raw[10]) << 16) |
             (static_cast<uint32_t>(static_cast<uint8_t>(raw[11])) << 24);
  return true;
}

std::unique_ptr<IMetafilePlayer>& PlayerSlot() {
  // The library's own player until the application registers another (or none).
  static std::unique_ptr<IMetafilePlayer> player = MakeMetafilePlayer();
  return player;
}

}  // namespace

std::unique_ptr<IMetafilePlayer> SetMetafilePlayer(std::unique_ptr<IMetafilePlayer> player) {
  std::swap(PlayerSlot(), player);
  return player;
}

IMetafilePlayer* MetafilePlayer() {
  return PlayerSlot().get();
}

// ---- life cycle and attachment ----

TVantixIO::TVantixIO(TComponent* owner)
    : TComponent(owner),
      TImageAttachment(static_cast<TFreeNotifier&>(*this)),
      msgLanguage_(static_cast<TMsgLanguage>(0)),
      params_(std::make_unique<TIOParamsVals>(this)),
      twainParams_(std::make_unique<TVXTWainParams>()) {}

TVantixIO::~TVantixIO() = default;

void TVantixIO::Notification(TFreeNotifier* object, TOperation operation) {
  TComponent::Notification(object, operation);
  AttachmentNotification(object, operation);
}

// ---- shared steps ----

TProgressRec TVantixIO::MakeProgress() {
  TProgressRec p;
  p.ProgressEvent = OnProgress;
  p.Sender = this;
  p.Aborting = &aborting_;
  p.Failure = &failure_;
  return p;
}

bool TVantixIO::BeginLoad() {
  aborting_ = false;
  failure_.Clear();
  if (!bitmap_) SetReason("nothing is attached to load into");
  return bitmap_ != nullptr;
}

bool TVantixIO::BeginSave() {
  aborting_ = false;
  failure_.Clear();
  if (!bitmap_) {
    SetReason("nothing is attached to save from");
    return false;
  }
  if (bitmap_->PixelFormat() != pf24bit && bitmap_->PixelFormat() != pf1bit) {
    try {
      bitmap_->SetPixelFormat(pf24bit);
    } catch (const std::exception&) {
      MakeProgress().FailOutOfMemory("to bring the image to 24 bits for saving");
      return false;
    }
  }
  return true;
}

// Reasons are kept when they can be: under a real shortage even the reason's string may
// not fit, and then the abort alone has to say it.
void TVantixIO::SetReason(std::string_view why, bool replace) noexcept {
  if (why.empty() || (!replace && !failure_.Reason.empty())) return;
  SetFailureReason(failure_.Reason, why);
}

// Runs a reader into a fresh bitmap and adopts what it read, so that a reader stopped
// by a shortage of memory (or by the pixel limit, before anything was sized) leaves
// the attached bitmap as it was. Data errors keep the rows read so far, as readers
// always did. Nothing but opening a file escapes a load.
template <class Read>
void TVantixIO::ReadIntoBitmap(const char* format, Read&& read) {
  TBitmap fresh;
  try {
    TProgressRec p = MakeProgress();
    try {
      read(fresh, p);
    } catch (const EOutOfResources& e) {
      p.FailOutOfMemory(e.what());
    } catch (const EReadError& e) {
      p.Fail(e.what());
    }
  } catch (const std::bad_alloc&) {
    aborting_ = true;
    failure_.OutOfMemory = true;
    SetReason("not enough memory to read the image");
  } catch (const std::length_error&) {
    // A container asked for more than it can ever hold: a size no data can justify.
    aborting_ = true;
    failure_.OutOfMemory = true;
    SetReason("the image is too large to hold in memory");
  }
  if (!fresh.Empty() && !failure_.OutOfMemory) bitmap_->Swap(fresh);
  if (aborting_ && failure_.Reason.empty()) {
    try {
      SetReason(std::string("the ") + format +
                " data is damaged, cut short or in a form this reader does not handle");
    } catch (const std::bad_alloc&) {
      SetReason(kOutOfMemoryReason);
    }
  }
}

// Runs a writer; stream errors, refused allocations and the writer's own refusals end
// in Aborting with the first cause kept. The stream's own error text (a full disk) is
// the root cause whenever there is one, so it replaces what the writer made of it.
template <class Write>
void TVantixIO::WriteGuarded(TStream& stream, Write&& write) {
  auto noteStreamError = [&]() noexcept {
    try {
      SetReason(stream.ErrorText(), true);
    } catch (const std::bad_alloc&) {
      SetReason(kOutOfMemoryReason);
    }
  };
  const bool streamHadFailed = !stream.ErrorText().empty();
  try {
    TProgressRec p = MakeProgress();
    try {
      write(stream);
      // A writer that lost bytes without noticing still made a broken file.
      if (!streamHadFailed && !stream.ErrorText().empty()) p.Abort();
    } catch (const EOutOfResources& e) {
      p.FailOutOfMemory(e.what());
    } catch (const EWriteError& e) {
      p.Fail(e.what());
    } catch (const EReadError& e) {
      p.Fail(e.what());
    }
  } catch (const std::bad_alloc&) {
    aborting_ = true;
    failure_.OutOfMemory = true;
    SetReason("not enough memory to write the image");
  } catch (const std::length_error&) {
    aborting_ = true;
    failure_.OutOfMemory = true;
    SetReason("the image is too large to write");
  } catch (const EInvalidGraphic&) {
    // The PNG writer reports by exception; the cause goes with it through LastError.
    aborting_ = true;
    SetReason("the PNG writer refused the image");
    noteStreamError();
    throw;
  }
  if (aborting_) {
    noteStreamError();
    SetReason("the writer refused the image");
  }
}

void TVantixIO::AfterLoad(int fileType, bool fromFile, const std::string& fileName, bool passDpi) {
  params_->FileType = fileType;
  params_->FileName = fromFile ? fileName : std::string{};
  if (view_ && passDpi) view_->SetDPI(params_->DpiX, params_->DpiY);
  Update();
}

// Writes to a temporary file beside the target and renames it over the target only
// when the writer finished without aborting, so a failed save never costs the old file.
template <class Writer>
void TVantixIO::SaveFileSafely(const std::string& fileName, Writer&& write) {
  SaveFileAtomically(fileName, [&](TFileStream& out) {
    WriteGuarded(out, write);
    // Buffered bytes that the disk refuses show up only here.
    if (!aborting_ && !out.FlushBuffers()) MakeProgress().Fail(out.ErrorText());
    return !aborting_;
  });
}

// With StreamHeaders, reserves the 12-byte header, writes, then fills the header in.
template <class Writer>
void TVantixIO::WriteWithStreamHeader(TStream& stream, const char* magic, bool onlyWhenOk,
                                      Writer&& write) {
  if (!streamHeaders_) {
    write(stream);
    return;
  }
  const int64_t start = stream.Position();
  const uint8_t zeros[kStreamHeaderSize] = {};
  stream.WriteBuffer(zeros, kStreamHeaderSize);
  write(stream);
  if (onlyWhenOk && aborting_) return;
  const int64_t end = stream.Position();
  stream.SetPosition(start);
  stream.WriteBuffer(magic, 4);
  WriteLE32(stream, 0);
  WriteLE32(stream, static_cast<uint32_t>(end - start - kStreamHeaderSize));
  stream.SetPosition(end);
}

// ---- format loaders ----

void TVantixIO::LoadFromFileBMP(const std::string& fileName) {
  if (!BeginLoad()) return;
  TFileStream f(fileName, fmOpenRead);
  ReadIntoBitmap("BMP", [&](TBitmap& b, TProgressRec& p) {
    BMPReadStream(f, b, f.Size(), false, *params_, p);
  });
  AfterLoad(ioBMP, true, fileName, true);
}

void TVantixIO::LoadFromStreamBMP(TStream& stream) {
  if (!BeginLoad()) return;
  ReadIntoBitmap(
      "BMP", [&](TBitmap& b, TProgressRec& p) { BMPReadStream(stream, b, 0, false, *params_, p); });
  AfterLoad(ioBMP, false, {}, false);
}

int TVantixIO::LoadFromFileGif(const std::string& fileName) {
  if (!BeginLoad()) return 0;
  TFileStream f(fileName, fmOpenRead);
  return [&] {
    int count = 0;
    ReadIntoBitmap("GIF", [&](TBitmap& b, TProgressRec& p) {
      ReadGifStream(f, b, count, false, *params_, p);
    });
    SetBackground(TRGB2TColor(params_->GIF_FlagTranspColor ? params_->GIF_TranspColor
                                                           : params_->GIF_Background));
    AfterLoad(ioGIF, true, fileName, true);
    return count;
  }();
}

int TVantixIO::LoadFromStreamGif(TStream& stream) {
  if (!BeginLoad()) return 0;
  int count = 0;
  ReadIntoBitmap("GIF", [&](TBitmap& b, TProgressRec& p) {
    ReadGifStream(stream, b, count, false, *params_, p);
  });
  SetBackground(TRGB2TColor(params_->GIF_FlagTranspColor ? params_->GIF_TranspColor
                                                         : params_->GIF_Background));
  AfterLoad(ioGIF, false, {}, false);
  return count;
}

void TVantixIO::LoadFromFileJpeg(const std::string& fileName) {
  if (!BeginLoad()) return;
  TFileStream f(fileName, fmOpenRead);
  ReadIntoBitmap("JPEG",
                 [&](TBitmap& b, TProgressRec& p) { ReadJPegStream(f, b, *params_, p, false); });
  AfterLoad(ioJPEG, true, fileName, true);
}

void TVantixIO::LoadFromStreamJpeg(TStream& stream) {
  if (!BeginLoad()) return;
  // A 12-byte "JFIF" header is recognised whatever StreamHeaders says.
  const int64_t start = stream.Position();
  TStreamHeader h;
  const bool headed = ReadStreamHeader(stream, h) && h.magic == "JFIF";
  if (!headed) stream.SetPosition(start);
  ReadIntoBitmap(
      "JPEG", [&](TBitmap& b, TProgressRec& p) { ReadJPegStream(stream, b, *params_, p, false); });
  if (headed) stream.SetPosition(start + kStreamHeaderSize + h.length);
  AfterLoad(ioJPEG, false, {}, true);
}

void TVantixIO::LoadFromFilePCX(const std::string& fileName) {
  if (!BeginLoad()) return;
  TFileStream f(fileName, fmOpenRead);
  ReadIntoBitmap("PCX", [&](TBitmap& b, TProgressRec& p) {
    ReadPcxStream(f, b, *params_, false, p, f.Size());
  });
  AfterLoad(ioPCX, true, fileName, true);
}

void TVantixIO::LoadFromStreamPCX(TStream& stream) {
  if (!BeginLoad()) return;
  const int64_t start = stream.Position();
  // Without a header the PCX data runs to the end of the stream.
  int64_t length = stream.Size() - start;
  int64_t after = -1;
  if (streamHeaders_) {
    TStreamHeader h;
    if (!ReadStreamHeader(stream, h) || h.magic.compare(0, 3, "PCX") != 0) {
      MakeProgress().Fail("the stream does not start with a PCX stream header");
      return;
    }
    if (h.magic == "PCX2") {
      length = h.length;
      after = start + h.length + kStreamHeaderSize;
    } else {
      // An older header form: the data starts 4 bytes in.
      stream.SetPosition(start + 4);
      length = stream.Size() - (start + 4);
    }
  }
  ReadIntoBitmap("PCX", [&](TBitmap& b, TProgressRec& p) {
    ReadPcxStream(stream, b, *params_, false, p, length);
  });
  if (after >= 0) stream.SetPosition(after);
  AfterLoad(ioPCX, false, {}, true);
}

int TVantixIO::LoadFromFileTIFF(const std::string& fileName) {
  if (!BeginLoad()) return 0;
  TFileStream f(fileName, fmOpenRead);
  int count = 0;
  params_->TIFF_Background = TColor2TRGB(Background());
  ReadIntoBitmap("TIFF", [&](TBitmap& b, TProgressRec& p) {
    TIFFReadStream(&b, f, count, params_.get(), p, false);
  });
  AfterLoad(ioTIFF, true, fileName, true);
  return count;
}

int TVantixIO::LoadFromStreamTIFF(TStream& stream) {
  if (!BeginLoad()) return 0;
  int64_t after = -1;
  if (streamHeaders_) {
    const int64_t start = stream.Position();
    TStreamHeader h;
    if (!ReadStreamHeader(stream, h) || h.magic != "TIFF") {
      MakeProgress().Fail("the stream does not start with a TIFF stream header");
      return 0;
    }
    after = start + kStreamHeaderSize + h.length;
  }
  int count = 0;
  params_->TIFF_Background = TColor2TRGB(Background());
  ReadIntoBitmap("TIFF", [&](TBitmap& b, TProgressRec& p) {
    TIFFReadStream(&b, stream, count, params_.get(), p, false);
  });
  if (after >= 0) stream.SetPosition(after);
  AfterLoad(ioTIFF, false, {}, true);
  return count;
}

void TVantixIO::LoadFromFilePNG(const std::string& fileName) {
  if (!BeginLoad()) return;
  TFileStream f(fileName, fmOpenRead);
  params_->PNG_Background = TColor2TRGB(Background());
  ReadIntoBitmap("PNG",
                 [&](TBitmap& b, TProgressRec& p) { ReadPNGStream(f, b, *params_, p, false); });
  SetBackground(TRGB2TColor(params_->PNG_Background));
  AfterLoad(ioPNG, true, fileName, true);
}

void TVantixIO::LoadFromStreamPNG(TStream& stream) {
  if (!BeginLoad()) return;
  params_->PNG_Background = TColor2TRGB(Background());
  ReadIntoBitmap(
      "PNG", [&](TBitmap& b, TProgressRec& p) { ReadPNGStream(stream, b, *params_, p, false); });
  SetBackground(TRGB2TColor(params_->PNG_Background));
  AfterLoad(ioPNG, false, {}, true);
}

void TVantixIO::LoadFromFileICO(const std::string& fileName) {
  if (!BeginLoad()) return;
  TFileStream f(fileName, fmOpenRead);
  ReadIntoBitmap("icon", [&](TBitmap& b, TProgressRec& p) {
    ICOReadStream(f, b, *params_, p, false, TColor2TRGB(Background()));
  });
  AfterLoad(ioICO, true, fileName, true);
}

void TVantixIO::LoadFromStreamICO(TStream& stream) {
  if (!BeginLoad()) return;
  ReadIntoBitmap("icon", [&](TBitmap& b, TProgressRec& p) {
    ICOReadStream(stream, b, *params_, p, false, TColor2TRGB(Background()));
  });
  AfterLoad(ioICO, false, {}, false);
}

void TVantixIO::LoadFromFileCUR(const std::string& fileName) {
  if (!BeginLoad()) return;
  TFileStream f(fileName, fmOpenRead);
  ReadIntoBitmap("cursor", [&](TBitmap& b, TProgressRec& p) {
    CURReadStream(f, b, *params_, p, false, TColor2TRGB(Background()));
  });
  AfterLoad(ioCUR, true, fileName, true);
}

void TVantixIO::LoadFromStreamCUR(TStream& stream) {
  if (!BeginLoad()) return;
  ReadIntoBitmap("cursor", [&](TBitmap& b, TProgressRec& p) {
    CURReadStream(stream, b, *params_, p, false, TColor2TRGB(Background()));
  });
  AfterLoad(ioCUR, false, {}, false);
}

// ---- format savers ----

void TVantixIO::SaveToStreamBMP(TStream& stream) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  WriteGuarded(stream, [&](TStream&) { BMPWriteStream(stream, *bitmap_, *params_, p); });
}

void TVantixIO::SaveToStreamGif(TStream& stream) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  WriteGuarded(stream, [&](TStream&) { WriteGifStream(stream, *bitmap_, *params_, p); });
}

void TVantixIO::SaveToStreamJpeg(TStream& stream) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  WriteGuarded(stream, [&](TStream&) {
    WriteWithStreamHeader(stream, "JFIF", false,
                          [&](TStream& s) { WriteJPegStream(s, *bitmap_, *params_, p); });
  });
}

void TVantixIO::SaveToStreamPCX(TStream& stream) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  WriteGuarded(stream, [&](TStream&) {
    WriteWithStreamHeader(stream, "PCX2", true,
                          [&](TStream& s) { WritePcxStream(s, *bitmap_, *params_, p); });
  });
}

void TVantixIO::SaveToStreamTIFF(TStream& stream) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  WriteGuarded(stream, [&](TStream&) {
    WriteWithStreamHeader(stream, "TIFF", false,
                          [&](TStream& s) { TIFFWriteStream(s, false, *bitmap_, *params_, p); });
  });
}

void TVantixIO::SaveToStreamPNG(TStream& stream) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  WriteGuarded(stream, [&](TStream&) { WritePNGStream(stream, *bitmap_, *params_, p); });
}

// File savers never write stream headers: those belong to images embedded in streams.
void TVantixIO::SaveToFileBMP(const std::string& fileName) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  SaveFileSafely(fileName, [&](TStream& s) { BMPWriteStream(s, *bitmap_, *params_, p); });
}

void TVantixIO::SaveToFileGif(const std::string& fileName) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  SaveFileSafely(fileName, [&](TStream& s) { WriteGifStream(s, *bitmap_, *params_, p); });
}

void TVantixIO::SaveToFileJpeg(const std::string& fileName) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  SaveFileSafely(fileName, [&](TStream& s) { WriteJPegStream(s, *bitmap_, *params_, p); });
}

void TVantixIO::SaveToFilePCX(const std::string& fileName) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  SaveFileSafely(fileName, [&](TStream& s) { WritePcxStream(s, *bitmap_, *params_, p); });
}

void TVantixIO::SaveToFileTIFF(const std::string& fileName) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  SaveFileSafely(fileName, [&](TStream& s) { TIFFWriteStream(s, false, *bitmap_, *params_, p); });
}

void TVantixIO::SaveToFilePNG(const std::string& fileName) {
  if (!BeginSave()) return;
  TProgressRec p = MakeProgress();
  SaveFileSafely(fileName, [&](TStream& s) { WritePNGStream(s, *bitmap_, *params_, p); });
}

// ---- generic operations ----

void TVantixIO::ReadRegistered(TStream& stream, int fileType) {
  const TVXFileFormatInfo* info = VXFileFormatGetInfo(fileType);
  if (!info || !info->ReadFunction) {
    MakeProgress().Fail("the format of the data is not recognised, or it cannot be read here");
    return;
  }
  ReadIntoBitmap(info->FullName.c_str(), [&](TBitmap& b, TProgressRec& p) {
    info->ReadFunction(stream, b, *params_, false, p);
  });
}

void TVantixIO::LoadFromFile(const std::string& fileName) {
  const std::string ext = ExtractFileExtLower(fileName);
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") return LoadFromFileJpeg(fileName);
  if (ext == ".png") return LoadFromFilePNG(fileName);
  if (ext == ".tif" || ext == ".tiff") {
    LoadFromFileTIFF(fileName);
    return;
  }
  if (ext == ".pcx") return LoadFromFilePCX(fileName);
  if (ext == ".gif") {
    LoadFromFileGif(fileName);
    return;
  }
  if (ext == ".wmf" || ext == ".emf") return ImportMetafile(fileName, -1, -1);
  if (ext == ".bmp") return LoadFromFileBMP(fileName);
  if (ext == ".cur") return LoadFromFileCUR(fileName);
  if (ext == ".ico") return LoadFromFileICO(fileName);

  if (!BeginLoad()) return;
  params_->FileName.clear();
  params_->FileType = ioUnknown;
  const TVXFileFormatInfo* info = ext.size() > 1 ? VXFileFormatGetInfo2(ext.substr(1)) : nullptr;
  if (!info || !info->ReadFunction) {
    MakeProgress().Fail("no reader is registered for the extension \"" + ext + "\"");
    return;
  }
  TFileStream f(fileName, fmOpenRead);
  ReadIntoBitmap(info->FullName.c_str(), [&](TBitmap& b, TProgressRec& p) {
    info->ReadFunction(f, b, *params_, false, p);
  });
  AfterLoad(info->FileType, true, fileName, true);
}

void TVantixIO::SaveToFile(const std::string& fileName) {
  const std::string ext = ExtractFileExtLower(fileName);
  if (ext == ".jpg" || ext == ".jpeg") return SaveToFileJpeg(fileName);
  if (ext == ".pcx") return SaveToFilePCX(fileName);
  if (ext == ".gif") return SaveToFileGif(fileName);
  if (ext == ".tif" || ext == ".tiff") return SaveToFileTIFF(fileName);
  if (ext == ".png") return SaveToFilePNG(fileName);
  if (ext == ".bmp") return SaveToFileBMP(fileName);

  if (!BeginSave()) return;
  const TVXFileFormatInfo* info = ext.size() > 1 ? VXFileFormatGetInfo2(ext.substr(1)) : nullptr;
  if (!info || !info->WriteFunction) {
    MakeProgress().Fail("no writer is registered for the extension \"" + ext + "\"");
    return;
  }
  TProgressRec p = MakeProgress();
  SaveFileSafely(fileName, [&](TStream& s) { info->WriteFunction(s, *bitmap_, *params_, p); });
}

void TVantixIO::LoadFromStream(TStream& stream) {
  if (!BeginLoad()) return;
  const int64_t start = stream.Position();
  const int type = FindStreamFormat(stream);
  stream.SetPosition(start);
  switch (type) {
    case ioTIFF:
      LoadFromStreamTIFF(stream);
      return;
    case ioGIF:
      LoadFromStreamGif(stream);
      return;
    case ioJPEG:
      LoadFromStreamJpeg(stream);
      return;
    case ioPCX:
      LoadFromStreamPCX(stream);
      return;
    case ioBMP:
      LoadFromStreamBMP(stream);
      return;
    case ioICO:
      LoadFromStreamICO(stream);
      return;
    case ioCUR:
      LoadFromStreamCUR(stream);
      return;
    case ioPNG:
      LoadFromStreamPNG(stream);
      return;
    default:
      break;
  }
  params_->FileName.clear();
  params_->FileType = ioUnknown;
  ReadRegistered(stream, type);
  if (aborting_ && !VXFileFormatGetInfo(type)) return;
  AfterLoad(type, false, {}, true);
}

void TVantixIO::SaveToStream(TStream& stream, int fileType) {
  switch (fileType) {
    case ioTIFF:
      SaveToStreamTIFF(stream);
      return;
    case ioGIF:
      SaveToStreamGif(stream);
      return;
    case ioJPEG:
      SaveToStreamJpeg(stream);
      return;
    case ioPCX:
      SaveToStreamPCX(stream);
      return;
    case ioBMP:
      SaveToStreamBMP(stream);
      return;
    case ioPNG:
      SaveToStreamPNG(stream);
      return;
    default:
      break;
  }
  if (!BeginSave()) return;
  const TVXFileFormatInfo* info = VXFileFormatGetInfo(fileType);
  if (!info || !info->WriteFunction) {
    MakeProgress().Fail("no writer is registered for file type " + std::to_string(fileType));
    return;
  }
  TProgressRec p = MakeProgress();
  WriteGuarded(stream, [&](TStream&) { info->WriteFunction(stream, *bitmap_, *params_, p); });
}

// Parameter-only reads go through nullpr, whose abort flag is reset first so that an
// earlier failure cannot make this read fail.
void TVantixIO::ReadStreamFormat(TStream& stream, int fileType) {
  TBitmap scratch;
  TBitmap& target = bitmap_ ? *bitmap_ : scratch;
  TProgressRec& p = ResetNullpr();
  int count = 0;
  switch (fileType) {
    case ioTIFF:
      TIFFReadStream(&target, stream, count, params_.get(), p, true);
      break;
    case ioGIF:
      ReadGifStream(stream, target, count, true, *params_, p);
      break;
    case ioJPEG:
      ReadJPegStream(stream, target, *params_, p, true);
      break;
    case ioPCX:
      ReadPcxStream(stream, target, *params_, true, p, stream.Size() - stream.Position());
      break;
    case ioBMP:
      BMPReadStream(stream, target, stream.Size() - stream.Position(), true, *params_, p);
      break;
    case ioICO:
      ICOReadStream(stream, target, *params_, p, true, TColor2TRGB(Background()));
      break;
    case ioCUR:
      CURReadStream(stream, target, *params_, p, true, TColor2TRGB(Background()));
      break;
    case ioPNG:
      ReadPNGStream(stream, target, *params_, p, true);
      break;
    default:
      if (const TVXFileFormatInfo* info = VXFileFormatGetInfo(fileType))
        if (info->ReadFunction) info->ReadFunction(stream, target, *params_, true, p);
      break;
  }
  params_->FileType = fileType;
}

void TVantixIO::ParamsFromFile(const std::string& fileName) {
  try {
    const int type = FindFileFormat(fileName, true);
    TFileStream f(fileName, fmOpenRead);
    ReadStreamFormat(f, type);
  } catch (...) {
    params_->FileType = ioUnknown;
  }
  params_->FileName = fileName;
}

void TVantixIO::ParamsFromStream(TStream& stream) {
  try {
    const int64_t start = stream.Position();
    const int type = FindStreamFormat(stream);
    stream.SetPosition(start);
    ReadStreamFormat(stream, type);
  } catch (...) {
    params_->FileType = ioUnknown;
  }
}

void TVantixIO::ImportMetafile(const std::string& fileName, int width, int height) {
  aborting_ = false;
  failure_.Clear();
  if (!bitmap_ || width == 0 || height == 0) return;
  IMetafilePlayer* player = MetafilePlayer();
  int mw = 0, mh = 0;
  bool enhanced = false;
  if (!player) {
    MakeProgress().Fail("no metafile player is installed");
    return;
  }
  if (!player->Load(fileName, mw, mh, enhanced) || mw <= 0 || mh <= 0) {
    MakeProgress().Fail("the metafile could not be read");
    return;
  }
  if (width >= 0 && height >= 0) {
    mw = width;
    mh = height;
  } else if (width < 0 && height >= 0) {
    mw = static_cast<int>(int64_t{height} * mw / mh);
    mh = height;
  } else if (height < 0 && width >= 0) {
    mh = static_cast<int>(int64_t{width} * mh / mw);
    mw = width;
  }
  if (mw <= 0 || mh <= 0) {
    MakeProgress().Fail("the metafile has no drawable size");
    return;
  }
  if (!SizeImage(*bitmap_, mw, mh, pf24bit, MakeProgress())) return;
  params_->FileName = fileName;
  params_->FileType = enhanced ? ioEMF : ioWMF;
  params_->BitsPerSample = 8;
  params_->SamplesPerPixel = 3;
  params_->Width = bitmap_->Width();
  params_->Height = bitmap_->Height();
  params_->DpiX = gSystemDPIX;
  params_->DpiY = gSystemDPIY;
  params_->FreeColorMap();
  if (view_) view_->SetDPI(params_->DpiX, params_->DpiY);
  Clear();
  player->Play(bitmap_->Canvas(), mw, mh);
  Update();
}

void TVantixIO::Clear() {
  if (!bitmap_) return;
  TCanvas& c = bitmap_->Canvas();
  c.Brush().Color = Background();
  c.Brush().Style = bsSolid;
  c.FillRect(Rect(0, 0, bitmap_->Width(), bitmap_->Height()));
}

void TVantixIO::AssignParams(const TObject* source) {
  if (const auto* io = dynamic_cast<const TVantixIO*>(source))
    params_->Assign(io->Params());
  else if (const auto* p = dynamic_cast<const TIOParamsVals*>(source))
    params_->Assign(*p);
}

// ---- multi-image files ----

int TVantixIO::InsertToFileGif(const std::string& fileName) {
  if (!BeginSave()) return 0;
  TIOParamsVals& p = *params_;
  p.GIF_WinWidth = imax(p.GIF_WinWidth, bitmap_->Width() + p.GIF_XPos);
  p.GIF_WinHeight = imax(p.GIF_WinHeight, bitmap_->Height() + p.GIF_YPos);
  TProgressRec pr = MakeProgress();
  int count = 0;
  try {
    count = InsertGifIm(fileName, *bitmap_, p, pr);
    if (!aborting_) GifMakeAnimate(fileName, 0, p.GIF_WinWidth, p.GIF_WinHeight);
  } catch (const std::bad_alloc&) {
    pr.FailOutOfMemory("to insert the image");
  }
  if (aborting_) SetReason("the GIF file could not take the image");
  return count;
}

int TVantixIO::InsertToFileTIFF(const std::string& fileName) {
  if (!BeginSave()) return 0;
  TFileStream f(fileName, fmOpenReadWrite);
  TProgressRec p = MakeProgress();
  int count = 0;
  WriteGuarded(f, [&](TStream&) { count = TIFFWriteStream(f, true, *bitmap_, *params_, p); });
  return count;
}

bool TVantixIO::DoPreviews(TPreviewParams pages) {
  if (!bitmap_) return false;
  // The dialog previews what a save would write, so the bitmap takes the form a save
  // gives it.
  if (bitmap_->PixelFormat() != pf24bit && bitmap_->PixelFormat() != pf1bit)
    bitmap_->SetPixelFormat(pf24bit);
  TIOPreviewRequest request;
  request.Image = bitmap_;
  request.Params = params_.get();
  request.Pages = pages;
  request.LockPreview = previewsParams_.Contains(ioppDefaultLockPreview);
  request.Language = msgLanguage_;
  request.Font = &previewFont_;
  request.Sender = this;
  request.OnPreview = OnIOPreview;
  const bool ok = RunIOPreviews(request);
  Update();
  return ok;
}
bool TVantixIO::Acquire() {
  aborting_ = false;
  failure_.Clear();
  if (!bitmap_) return false;
  const TWindowHandle window = VXFindHandle(this);
  TProgressRec p = MakeProgress();
  const bool ok = VXTW_Acquire(window, bitmap_, false, p, params_.get(), *twainParams_);
  if (!ok && failure_.Reason.empty()) failure_.Reason = twainParams_->LastError();
  if (ok && view_) view_->SetDPI(params_->DpiX, params_->DpiY);
  if (auto& focus = TwainPlatformHooks().FocusWindow; focus && window) focus(window);
  Update();
  return ok;
}

bool TVantixIO::SelectAcquireSource() {
  std::string name;
  return VXTW_SelectImageSource(VXFindHandle(this), name) && twainParams_->SelectSourceByName(name);
}

int DeleteGifIm(const std::string& fileName, int index) {
  return DeleteGifIm(fileName, index, true);
}

int EnumGifIm(const std::string& fileName) {
  try {
    return DeleteGifIm(fileName, -1, false);
  } catch (...) {
    return 0;
  }
}

bool CheckAniGif(const std::string& fileName) {
  try {
    return CheckGifAnimate(fileName);
  } catch (...) {
    return false;
  }
}

int DeleteTIFFIm(const std::string& fileName, int index) {
  TFileStream f(fileName, fmOpenReadWrite);
  return DeleteTIFFImStream(f, index);
}

int EnumTIFFIm(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  return EnumTIFFImStream(f);
}

}  // namespace vx

#include "io/lzwhooks.h"

#include "codecs/lzw/giflzw.h"
#include "codecs/lzw/tifflzw.h"

namespace vx {

TGIFLZWDecompFunc DefGIF_LZWDECOMPFUNC = GIFLZWDecompress;
TGIFLZWCompFunc DefGIF_LZWCOMPFUNC = GIFLZWCompress;
TTIFFLZWDecompFunc DefTIFF_LZWDECOMPFUNC = TIFFLZWDecompress;
TTIFFLZWCompFunc DefTIFF_LZWCOMPFUNC = TIFFLZWCompress;

}  // namespace vx

#pragma once
// TIFF codec: pages read and written, inserted, counted and deleted.
#include "io/codec.h"

namespace vx {

// Reads page TIFF_ImageIndex; numImages receives the number of pages. With no bitmap
// or no parameter set only the pages are counted.
void TIFFReadStream(TBitmap* bitmap, TStream& stream, int& numImages, TIOParamsVals* params,
                    TProgressRec& progress, bool preview);
// Writes a new single-page file (insert false) or inserts a page at TIFF_ImageIndex
// into the TIFF the stream holds. Returns the number of pages the file now holds.
int TIFFWriteStream(TStream& stream, bool insert, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress);
int EnumTIFFImStream(TStream& stream);
// Removes page index; returns the number of pages before the deletion (0: not a TIFF).
int DeleteTIFFImStream(TStream& stream, int index);

}  // namespace vx

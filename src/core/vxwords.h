#pragma once
// Captions of the library's own dialogs, by language and word, and the choice
// of the language from the system locale.
#include <array>
#include <string>
#include <string_view>

namespace vx {

enum class TMsgLanguage {
  msSystem,
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msUser
};
using enum TMsgLanguage;

enum TMsgLanguageWords : int {
  VXMSG_PREVIEW = 0,
  VXMSG_SOURCE,
  VXMSG_RESULT,
  VXMSG_OK,
  VXMSG_CANCEL,
  VXMSG_LOCKPREVIEW,
  VXMSG_COPYRESULTTOSOURCE,
  VXMSG_CONTRAST,
  VXMSG_BRIGHTNESS,
  VXMSG_HUE,
  VXMSG_SATURATION,
  VXMSG_VALUE,
  VXMSG_BASECOLOR,
  VXMSG_NEWCOLOR,
  VXMSG_LUMINOSITY,
  VXMSG_RED,
  VXMSG_GREEN,
  VXMSG_BLUE,
  VXMSG_FILTERVALUES,
  VXMSG_PRESETS,
  VXMSG_DIVISOR,
  VXMSG_LOAD,
  VXMSG_SAVE,
  VXMSG_EQUALIZATION,
  VXMSG_THRESHOLD,
  VXMSG_EQUALIZE,
  VXMSG_HISTOGRAM,
  VXMSG_GRAY,
  VXMSG_LIGHT,
  VXMSG_LEFT,
  VXMSG_TOP,
  VXMSG_WIDTH,
  VXMSG_HEIGHT,
  VXMSG_COLOR,
  VXMSG_SOURCEIMAGEQUANTITY,
  VXMSG_LENS,
  VXMSG_REFRACTION,
  VXMSG_PARAMETERSPREVIEW,
  VXMSG_QUALITY,
  VXMSG_DCTMETHOD,
  VXMSG_SMOOTHINGFACTOR,
  VXMSG_GRAYSCALE,
  VXMSG_OPTIMALHUFFMAN,
  VXMSG_ORIGINALSIZE,
  VXMSG_COMPRESSEDSIZE,
  VXMSG_ADVANCED,
  VXMSG_PROGRESSIVE,
  VXMSG_COMPRESSION,
  VXMSG_IMAGEINDEX,
  VXMSG_PHOTOMETRIC,
  VXMSG_SCANNDEDDOCUMENTINFO,
  VXMSG_NAME,
  VXMSG_DESCRIPTION,
  VXMSG_PAGENAME,
  VXMSG_PAGENUMBER,
  VXMSG_OF,
  VXMSG_HORIZPOSITIONINCH,
  VXMSG_VERTPOSITIONINCH,
  VXMSG_COLORS,
  VXMSG_TRANSPARENT,
  VXMSG_TRANSPARENTCOLOR,
  VXMSG_INTERLACED,
  VXMSG_BACKGROUND,
  VXMSG_HORIZPOSITION,
  VXMSG_VERTPOSITION,
  VXMSG_DELAYTIME,
  VXMSG_FILTER,
  VXMSG_WAVE,
  VXMSG_AMPLITUDE,
  VXMSG_WAVELENGTH,
  VXMSG_PHASE,
  VXMSG_REFLECTIVE,
  VXMSG_USERFILTER,
  VXMSG_MORPHFILTER,
  VXMSG_WINDOWSIZE,
  VXMSG_MAXIMUM,
  VXMSG_MINIMUM,
  VXMSG_OPEN,
  VXMSG_CLOSE,
  VXMSG_ROTATE,
  VXMSG_FLIP,
  VXMSG_FLIPHOR,
  VXMSG_FLIPVER,
  VXMSG_FREQUENCYDOMAINIMAGE,
  VXMSG_SELECTTHEREGIONTOCLEAR,
  VXMSG_CLEAR,
  VXMSG_RESET = 86
};

// Number of words, and of table rows (every language but msSystem).
inline constexpr int vxMsgWordCount = 87;
inline constexpr int vxMsgLanguageCount = 8;
static_assert(VXMSG_RESET + 1 == vxMsgWordCount);

using TMsgRow = std::array<std::string, vxMsgWordCount>;

// Handle to the caption table, rows msEnglish..msUser. The table itself is
// built with the built-in texts on the first access through any entry point, so
// a static initialiser elsewhere may already read captions.
struct TMsgTable {
  // Row of a language. msSystem has no row: throws std::out_of_range, as does a
  // value outside the enumeration.
  TMsgRow &operator[](TMsgLanguage language) const;
  // One entry; throws std::out_of_range for msSystem or a word outside 0..86.
  std::string &at(TMsgLanguage language, int word) const;
};
inline constexpr TMsgTable vxMessages{};

// Stores text at (language, word). msSystem has no row and a word outside 0..86
// has no column: both are ignored.
void VXSetTranslationWord(TMsgLanguage language, int word, std::string text);

// Caption to show. For an explicit language an empty entry falls back to
// English. For msSystem the row is the one the system locale names, taken as it
// is: an emptied word stays empty. A word outside 0..86 yields an empty text.
std::string vxmsg(int word, TMsgLanguage language);

// Puts the built-in texts back into rows msEnglish..msGreek; msUser is left as
// stored.
void VXSetDefaultTranslationWords();

// Classic primary language identifier (7 German, 9 English, 12 French, ...) of
// a POSIX locale name such as "de_DE.UTF-8", "el_GR" or "pt_BR.UTF-8@euro".
// "C", "POSIX" and an empty name are English (9); a language without an
// identifier here gives 0.
int LocalePrimaryLanguageId(std::string_view localeName);
// The same for the locale that messages are shown in: the first non-empty of
// LC_ALL, LC_MESSAGES and LANG. Read afresh on every call.
int SystemPrimaryLanguageId();
// Row that a primary language identifier selects; English for every language
// without built-in texts.
TMsgLanguage LanguageFromPrimaryId(int id);

} // namespace vx

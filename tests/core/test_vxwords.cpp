#include "core/vxwords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace vx;

constexpr TMsgLanguage kBuiltIn[] = {
    msEnglish, msItalian, msGerman, msSpanish, msFrench, msPortuguese, msGreek};

// Saves the locale variables and the caption table state that a test may
// change, and puts them back afterwards so tests stay independent in any order.
class VxWordsTest : public ::testing::Test {
protected:
  static constexpr const char *kVars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};

  void SetUp() override {
    for (const char *name : kVars) {
      const char *v = std::getenv(name);
      saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i])
        setenv(kVars[i], saved_[i]->c_str(), 1);
      else
        unsetenv(kVars[i]);
    }
    VXSetDefaultTranslationWords();
    for (int w = 0; w < vxMsgWordCount; ++w)
      VXSetTranslationWord(msUser, w, "");
  }

  // Only the given variables are set; the others are removed.
  static void SetLocale(const char *lcAll, const char *lcMessages,
                        const char *lang) {
    const char *values[] = {lcAll, lcMessages, lang};
    for (int i = 0; i < 3; ++i) {
      if (values[i])
        setenv(kVars[i], values[i], 1);
      else
        unsetenv(kVars[i]);
    }
  }

private:
  std::vector<std::optional<std::string>> saved_;
};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string &s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    int len = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > s.size())
      return false;
    for (int k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80)
        return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

bool HasGreekLetter(const std::string &s) {
  // U+0370..U+03FF encode as 0xCD 0xB0 .. 0xCF 0xBF.
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    const auto a = static_cast<unsigned char>(s[i]);
    const auto b = static_cast<unsigned char>(s[i + 1]);
    if ((a == 0xCD && b >= 0xB0) || a == 0xCE || a == 0xCF)
      return true;
  }
  return false;
}

// Nothing here fills the table first: the built-in texts must be there on first
// use.
TEST_F(VxWordsTest, DefaultsPresentOnFirstUseAndUserRowFallsBackToEnglish) {
  EXPECT_EQ(vxmsg(VXMSG_OK, msUser), "OK");
  EXPECT_EQ(vxmsg(VXMSG_RESET, msUser), "Reset");
  EXPECT_EQ(vxMessages[msUser][VXMSG_OK], "");
  EXPECT_EQ(vxmsg(VXMSG_PREVIEW, msGerman), "Vorschau");
}

TEST_F(VxWordsTest, EveryBuiltInEntryIsNonEmptyValidUtf8) {
  for (TMsgLanguage lang : kBuiltIn) {
    for (int w = 0; w < vxMsgWordCount; ++w) {
      const std::string &text = vxMessages[lang][w];
      SCOPED_TRACE(::testing::Message()
                   << "language " << static_cast<int>(lang) << " word " << w);
      EXPECT_FALSE(text.empty());
      EXPECT_TRUE(IsValidUtf8(text)) << text;
      EXPECT_NE(text.front(), ' ');
      EXPECT_NE(text.back(), ' ');
    }
  }
}

TEST_F(VxWordsTest, GreekRowIsInGreekScript) {
  // Abbreviations that stay Latin in Greek dialogs too.
  for (int w = 0; w < vxMsgWordCount; ++w) {
    if (w == VXMSG_OK)
      continue;
    EXPECT_TRUE(HasGreekLetter(vxMessages[msGreek][w]))
        << w << ": " << vxMessages[msGreek][w];
  }
}

TEST_F(VxWordsTest, TranslatedRowsAreNotCopiesOfOneAnother) {
  for (TMsgLanguage a : kBuiltIn)
    for (TMsgLanguage b : kBuiltIn)
      if (a != b) {
        EXPECT_NE(vxMessages[a], vxMessages[b]) << static_cast<int>(a);
      }
}

TEST_F(VxWordsTest, TellingRows) {
  struct Row {
    int word;
    const char *it;
    const char *de;
    const char *es;
    const char *fr;
    const char *pt;
  };
  const Row rows[] = {
      {VXMSG_PREVIEW, "Anteprima", "Vorschau", "Vista Previa",
       "Prévisualisation", "Visualizar"},
      {VXMSG_CANCEL, "Annulla", "Abbrechen", "Cancelar", "Annuler", "Cancelar"},
      {VXMSG_LOCKPREVIEW, "Blocca anteprima", "Vorschau einfrieren",
       "Bloquear Vista Previa", "Bloquear Vista Previa",
       "Bloquear Visualização"},
      {VXMSG_OK, "OK", "OK", "Aceptar", "Ok", "OK"},
      {VXMSG_OF, "di", "von", "de", "sur", "de"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.word);
    EXPECT_EQ(vxmsg(r.word, msItalian), r.it);
    EXPECT_EQ(vxmsg(r.word, msGerman), r.de);
    EXPECT_EQ(vxmsg(r.word, msSpanish), r.es);
    EXPECT_EQ(vxmsg(r.word, msFrench), r.fr);
    EXPECT_EQ(vxmsg(r.word, msPortuguese), r.pt);
  }
  // The French row shares these with the Spanish one.
  for (int w : {VXMSG_LOCKPREVIEW, VXMSG_COPYRESULTTOSOURCE, VXMSG_ADVANCED})
    EXPECT_EQ(vxMessages[msFrench][w], vxMessages[msSpanish][w]) << w;
  EXPECT_EQ(vxMessages[msSpanish][VXMSG_COPYRESULTTOSOURCE],
            "Copia Resultado al Original");
  EXPECT_EQ(vxMessages[msSpanish][VXMSG_ADVANCED], "Avanzados");
}

TEST_F(VxWordsTest, EnglishColumnMatchesWordOrder) {
  const std::pair<int, const char *> cases[] = {
      {0, "Preview"},
      {3, "OK"},
      {6, "Copy Result to Source"},
      {34, "Source image quantity"},
      {50, "Scanned document info"},
      {55, "of"},
      {56, "Horiz. Position (inch)"},
      {73, "Morphing filters"},
      {77, "Opening"},
      {78, "Closing"},
      {84, "Select the region to clean"},
      {85, "Clear"},
      {86, "Reset"},
  };
  for (const auto &[word, text] : cases)
    EXPECT_EQ(vxmsg(word, msEnglish), text) << word;
}

TEST_F(VxWordsTest, ExplicitLanguageFallsBackToEnglishOnlyWhenEmpty) {
  VXSetTranslationWord(msItalian, VXMSG_HUE, "");
  EXPECT_EQ(vxmsg(VXMSG_HUE, msItalian), "Hue");
  VXSetTranslationWord(msUser, VXMSG_HUE, "Teinte perso");
  EXPECT_EQ(vxmsg(VXMSG_HUE, msUser), "Teinte perso");
  EXPECT_EQ(vxmsg(VXMSG_SATURATION, msUser), "Saturation");
  // A replaced English word is the new fall-back for everyone.
  VXSetTranslationWord(msEnglish, VXMSG_HUE, "Tint");
  EXPECT_EQ(vxmsg(VXMSG_HUE, msItalian), "Tint");
  EXPECT_EQ(vxmsg(VXMSG_HUE, msEnglish), "Tint");
}

TEST_F(VxWordsTest, SystemLanguageFollowsLocaleWithoutFallBack) {
  SetLocale(nullptr, nullptr, "fi_FI.UTF-8");
  for (int w = 0; w < vxMsgWordCount; ++w)
    EXPECT_EQ(vxmsg(w, msSystem), vxMessages[msEnglish][w]) << w;

  SetLocale(nullptr, nullptr, "de_DE.UTF-8");
  EXPECT_EQ(vxmsg(VXMSG_CANCEL, msSystem), "Abbrechen");
  VXSetTranslationWord(msGerman, VXMSG_CANCEL, "");
  EXPECT_EQ(vxmsg(VXMSG_CANCEL, msSystem), "");
  EXPECT_EQ(vxmsg(VXMSG_CANCEL, msGerman), "Cancel");

  // Read afresh on every call.
  SetLocale(nullptr, nullptr, "el_GR.UTF-8");
  EXPECT_EQ(vxmsg(VXMSG_PREVIEW, msSystem), vxMessages[msGreek][VXMSG_PREVIEW]);
  SetLocale(nullptr, nullptr, "es_ES");
  EXPECT_EQ(vxmsg(VXMSG_OK, msSystem), "Aceptar");
}

TEST_F(VxWordsTest, LocaleVariablesPrecedence) {
  struct Case {
    const char *lcAll;
    const char *lcMessages;
    const char *lang;
    int id;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, 9},
      {nullptr, nullptr, "de_DE.UTF-8", 7},
      {nullptr, "fr_FR", "de_DE.UTF-8", 12},
      {"it_IT", "fr_FR", "de_DE.UTF-8", 16},
      {"C", nullptr, "de_DE.UTF-8", 9}, // C is a choice, not "unset"
      {"", "", "pt_BR.UTF-8", 22},      // empty values are skipped
      {"", "el_GR", "de_DE", 8},
      {"", "", "", 9},
  };
  for (const Case &c : cases) {
    SetLocale(c.lcAll, c.lcMessages, c.lang);
    EXPECT_EQ(SystemPrimaryLanguageId(), c.id)
        << (c.lcAll ? c.lcAll : "-") << " / "
        << (c.lcMessages ? c.lcMessages : "-") << " / "
        << (c.lang ? c.lang : "-");
  }
}

TEST_F(VxWordsTest, LocaleNameParsing) {
  const std::pair<const char *, int> cases[] = {
      {"C", 9},
      {"POSIX", 9},
      {"C.UTF-8", 9},
      {"", 9},
      {"en_US.UTF-8", 9},
      {"de_DE.UTF-8", 7},
      {"de_AT@euro", 7},
      {"DE_de", 7},
      {"de-CH", 7},
      {"el_GR", 8},
      {"el", 8},
      {"es_MX.UTF-8", 10},
      {"fi_FI", 11},
      {"fr_CA.UTF-8", 12},
      {"it_CH", 16},
      {"pt_BR.UTF-8", 22},
      {"pt_PT@euro", 22},
      {"nl_NL", 19},
      {"sv_SE", 29},
      {"pl_PL", 21},
      {"ru_RU.KOI8-R", 25},
      {"ja_JP.eucJP", 17},
      {"zh_CN.GB18030", 4},
      {"xx_YY", 0},
      {"deu", 0},
      {"d", 0},
  };
  for (const auto &[name, id] : cases)
    EXPECT_EQ(LocalePrimaryLanguageId(name), id) << name;
}

TEST_F(VxWordsTest, PrimaryIdToRow) {
  const std::pair<int, TMsgLanguage> cases[] = {
      {7, msGerman},   {8, msGreek},    {9, msEnglish},  {10, msSpanish},
      {11, msEnglish}, {12, msFrench},  {16, msItalian}, {22, msPortuguese},
      {0, msEnglish},  {-1, msEnglish}, {19, msEnglish}, {1000, msEnglish},
  };
  for (const auto &[id, lang] : cases)
    EXPECT_EQ(LanguageFromPrimaryId(id), lang) << id;
}

TEST_F(VxWordsTest, OutOfRangeArgumentsAreHarmless) {
  const TMsgRow english = vxMessages[msEnglish];
  VXSetTranslationWord(msSystem, VXMSG_OK, "ignored");
  VXSetTranslationWord(msEnglish, -1, "ignored");
  VXSetTranslationWord(msEnglish, vxMsgWordCount, "ignored");
  VXSetTranslationWord(static_cast<TMsgLanguage>(42), VXMSG_OK, "ignored");
  EXPECT_EQ(vxMessages[msEnglish], english);
  for (TMsgLanguage lang : kBuiltIn)
    EXPECT_NE(vxMessages[lang][VXMSG_OK], "ignored");
  EXPECT_EQ(vxMessages[msUser][VXMSG_OK], "");

  EXPECT_EQ(vxmsg(-1, msEnglish), "");
  EXPECT_EQ(vxmsg(vxMsgWordCount, msSystem), "");
  EXPECT_EQ(vxmsg(VXMSG_OK, static_cast<TMsgLanguage>(42)), "OK");
  EXPECT_THROW(vxMessages[msSystem], std::out_of_range);
  EXPECT_THROW(vxMessages.at(msEnglish, vxMsgWordCount), std::out_of_range);
  EXPECT_EQ(vxMessages.at(msGerman, VXMSG_OF), "von");
}

TEST_F(VxWordsTest, DefaultsCanBeRestoredAndKeepUserRow) {
  VXSetTranslationWord(msFrench, VXMSG_OF, "de");
  VXSetTranslationWord(msEnglish, VXMSG_OK, "");
  VXSetTranslationWord(msUser, VXMSG_OK, "Jawohl");
  VXSetDefaultTranslationWords();
  EXPECT_EQ(vxmsg(VXMSG_OF, msFrench), "sur");
  EXPECT_EQ(vxMessages[msEnglish][VXMSG_OK], "OK");
  EXPECT_EQ(vxmsg(VXMSG_OK, msUser), "Jawohl");
}

} // namespace

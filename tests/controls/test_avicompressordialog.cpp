// The AVI compressor chooser: what it shows for each compressor and what OK and Cancel give.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QTimer>

#include "multi/avicompressordialog.h"

using namespace vx;

namespace {

TEST(AVICompressorDialog, ShowsTheSettingsOfTheChosenCompressor) {
  TAVICompressorDialog dialog;
  auto* combo = dialog.findChild<QComboBox*>("compressor");
  auto* quality = dialog.findChild<QSpinBox*>("quality");
  auto* bitRate = dialog.findChild<QSpinBox*>("bitRate");
  ASSERT_TRUE(combo && quality && bitRate);
  EXPECT_EQ(dialog.Options().Compressor, aviFullFrames);
  EXPECT_EQ(combo->currentText(), AVICompressorCaption(aviFullFrames));

  struct {
    TAVICompressor compressor;
    bool quality, bitRate;
  } cases[] = {{aviFullFrames, false, false},
               {aviMJPEG, true, false},
               {aviMPEG4, false, true},
               {aviFFV1, false, false}};
  for (const auto& c : cases) {
    if (!AVICompressorAvailable(c.compressor)) continue;
    TAVICompressorOptions options;
    options.Compressor = c.compressor;
    options.Quality = 42;
    options.BitRate = 1500000;
    dialog.SetOptions(options);
    EXPECT_EQ(quality->isVisibleTo(&dialog), c.quality) << AVICompressorName(c.compressor);
    EXPECT_EQ(bitRate->isVisibleTo(&dialog), c.bitRate) << AVICompressorName(c.compressor);
    const TAVICompressorOptions back = dialog.Options();
    EXPECT_EQ(back.Compressor, c.compressor);
    EXPECT_EQ(back.Quality, 42);
    EXPECT_EQ(back.BitRate, 1500000);
  }
}

// Closes the modal chooser as soon as it runs, after picking MJPEG at quality 80.
void AnswerChooser(bool accept) {
  QTimer::singleShot(0, [accept] {
    auto* dialog = qobject_cast<TAVICompressorDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    auto* combo = dialog->findChild<QComboBox*>("compressor");
    combo->setCurrentIndex(combo->findData(static_cast<int>(aviMJPEG)));
    dialog->findChild<QSpinBox*>("quality")->setValue(80);
    accept ? dialog->accept() : dialog->reject();
  });
}

TEST(AVICompressorDialog, OkGivesTheChoiceAndCancelKeepsTheOptions) {
  TAVICompressorOptions options;
  options.Compressor = aviFFV1;
  AnswerChooser(false);
  EXPECT_FALSE(ChooseAVICompressor(options));
  EXPECT_EQ(options.Compressor, aviFFV1);
  EXPECT_EQ(options.Quality, 75);

  AnswerChooser(true);
  EXPECT_TRUE(ChooseAVICompressor(options));
  EXPECT_EQ(options.Compressor, aviMJPEG);
  EXPECT_EQ(options.Quality, 80);
}

}  // namespace

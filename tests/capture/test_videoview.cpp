// TVantixVideoView on the test-pattern driver, offscreen: showing video, frame events,
// reconnection, freezing, recording (probed with ffprobe) and the failures.
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <memory>

#include "acquire/capturerecorder.h"
#include "acquire/vxcapdialogs.h"
#include "acquire/vxcapview.h"
#include "capturetest.h"

namespace vxtest {
namespace {

using namespace vx;

// A shown 640 x 480 client area (no border, so the client is the whole control).
std::unique_ptr<TVantixVideoView> MakeView() {
  auto v = std::make_unique<TVantixVideoView>();
  v->SetBorderStyle(bsNone);
  v->resize(640, 480);
  v->show();
  SpinEvents(20);
  return v;
}

std::string Probe(const std::string& file, const std::string& entries, const char* stream = "v:0") {
  return RunCommand("ffprobe -v error -count_frames -select_streams " + std::string(stream) +
                    " -show_entries stream=" + entries + " -of default=nw=1 " + file);
}

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const TVideoCapException& e) {
    return e.what();
  }
  return "";
}

TEST_F(CaptureTest, CreationDefaultsAndDriverList) {
  TVantixVideoView v;
  EXPECT_TRUE(v.FitFreeze());
  EXPECT_EQ(v.DisplayMode(), dmPreview);
  EXPECT_FALSE(v.ShowVideo());
  EXPECT_EQ(v.VideoSource(), 0);
  EXPECT_EQ(v.PreviewRate(), 60);
  EXPECT_EQ(v.RecordFileName, "Capture.avi");
  EXPECT_EQ(v.RecordFrameRate, 15);
  EXPECT_FALSE(v.RecordAudio);
  EXPECT_TRUE(v.RecordYield);
  EXPECT_FALSE(v.Frozen());
  EXPECT_GE(v.VideoFormatBlockSize(), 1068u);
  ASSERT_EQ(v.VideoSourceList.size(), 1u);
  EXPECT_EQ(v.VideoSourceList[0], "Vantix test pattern FFmpeg lavfi testsrc2");
  EXPECT_EQ(v.CaptureWindow(), 0u);  // made at the first paint
}

TEST_F(CaptureTest, ConnectGivesTheFormatAndJobEvents) {
  auto v = MakeView();
  EXPECT_NE(v->CaptureWindow(), 0u);
  std::vector<TVXJob> jobs;
  v->OnJob = [&](TObject*, TVXJob j, int) { jobs.push_back(j); };
  EXPECT_EQ(v->GetVideoSize(), Rect(0, 0, 319, 239));
  v->DriverConnect();
  EXPECT_TRUE(v->Connected());
  EXPECT_EQ(jobs, (std::vector<TVXJob>{vxjVIDEOCAP_CONNECTING, vxjNOTHING}));
  EXPECT_EQ(v->VideoFormat().biBitCount, 24);
  const TCAPDRIVERCAPS caps = v->GetCaps();
  EXPECT_TRUE(caps.fCaptureInitialized);
  EXPECT_FALSE(v->HasOverlay());
  EXPECT_TRUE(v->HasDlgVideoSource() && v->HasDlgVideoFormat() && v->HasDlgVideoDisplay());
  EXPECT_TRUE(v->Connected());  // queries keep a connection they did not make
  v->DriverDisconnect();
  EXPECT_FALSE(v->Connected());
  v->GetCaps();
  EXPECT_FALSE(v->Connected());  // and drop one they made
}

TEST_F(CaptureTest, FrameEventAssignedWhileDisconnectedWaitsForShowVideo) {
  auto v = MakeView();
  int frames = 0;
  std::vector<uint64_t> numbers;
  v->SetPreviewRate(33);
  v->SetOnVideoFrame([&](TObject*, TBitmap* b) {
    ++frames;
    EXPECT_EQ(b->Width(), 320);
    EXPECT_EQ(b->Height(), 240);
  });
  v->SetOnVideoFrameRaw([&](TObject*, const TBitmapInfoHeader* f, const TVideoHdr* h) {
    EXPECT_EQ(f->biWidth, 320);
    numbers.push_back(h->FrameNumber);
  });
  EXPECT_FALSE(v->Connected());
  SpinEvents(150);
  EXPECT_EQ(frames, 0);
  v->SetShowVideo(true);
  EXPECT_TRUE(v->Connected());
  EXPECT_EQ(v->ScrollBars(), ssNone);
  ASSERT_TRUE(WaitUntil([&] { return frames >= 5; }, 3000));
  for (size_t i = 1; i < numbers.size(); ++i) EXPECT_GT(numbers[i], numbers[i - 1]);
  EXPECT_TRUE(v->CaptureWidget()->isVisible());
  v->SetShowVideo(false);
  const int stopped = frames;
  SpinEvents(150);
  EXPECT_EQ(frames, stopped);  // nothing after the disconnect
  EXPECT_FALSE(v->CaptureWidget()->isVisible());
  v->SetShowVideo(true);
  ASSERT_TRUE(WaitUntil([&] { return frames > stopped; }, 3000));
  v.reset();  // destroyed while frames are under way: none may arrive afterwards
  SpinEvents(100);
}

TEST_F(CaptureTest, VideoSourceChangeReconnects) {
  auto v = MakeView();
  int connecting = 0;
  v->OnJob = [&](TObject*, TVXJob j, int) { connecting += j == vxjVIDEOCAP_CONNECTING; };
  v->SetScrollBars(ssBoth);
  v->SetShowVideo(true);
  EXPECT_EQ(connecting, 1);
  v->SetVideoSource(0);
  EXPECT_EQ(connecting, 2);
  EXPECT_TRUE(v->Connected());
  EXPECT_EQ(Message([&] { v->SetVideoSource(7); }), kCapTextOpenDriver);
  EXPECT_FALSE(v->Connected());
  EXPECT_FALSE(v->ShowVideo());
  EXPECT_EQ(v->ScrollBars(), ssBoth);  // the bars the control was given come back
}

TEST_F(CaptureTest, FreezeFitsTheFrameToTheClientArea) {
  auto v = MakeView();
  v->Freeze();  // not showing video: nothing
  EXPECT_FALSE(v->Frozen());
  v->SetShowVideo(true);
  v->Freeze();
  EXPECT_TRUE(v->Frozen());
  EXPECT_EQ(v->Bitmap().Width(), 640);
  EXPECT_EQ(v->Bitmap().Height(), 480);
  v->Select(10, 10, 100, 100);  // a frozen frame takes a selection
  EXPECT_TRUE(v->Selected());
  v->UnFreeze();
  EXPECT_FALSE(v->Frozen());
  EXPECT_FALSE(v->Selected());  // live video again: the selection goes
  v->Select(10, 10, 100, 100);
  EXPECT_FALSE(v->Selected());
  v->SetFitFreeze(false);
  v->SetFrozen(true);
  EXPECT_EQ(v->Bitmap().Width(), 320);
  EXPECT_EQ(v->Bitmap().Height(), 240);
}

TEST_F(CaptureTest, RecordingAtFifteenFramesASecond) {
  auto v = MakeView();
  v->RecordFileName = TempDir() + "/rec15.avi";
  v->RecordFrameRate = 15;
  v->SetShowVideo(true);
  v->StartRecord();
  EXPECT_TRUE(v->Recording());
  TCAPTUREPARMS parms;
  capSendMessage(v->CaptureWindow(), WM_CAP_GET_SEQUENCE_SETUP, sizeof parms,
                 reinterpret_cast<intptr_t>(&parms));
  EXPECT_EQ(parms.dwRequestMicroSecPerFrame, 66667u);
  EXPECT_TRUE(parms.fYield);
  SpinEvents(2000);
  v->StopRecord();
  EXPECT_FALSE(v->Recording());
  const std::string probe = Probe(v->RecordFileName, "codec_name,r_frame_rate,nb_read_frames");
  EXPECT_NE(probe.find("codec_name=mjpeg"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=15/1"), std::string::npos) << probe;
  const size_t at = probe.find("nb_read_frames=");
  ASSERT_NE(at, std::string::npos) << probe;
  const int frames = std::stoi(probe.substr(at + 15));
  EXPECT_GE(frames, 28);
  EXPECT_LE(frames, 32);
}

TEST_F(CaptureTest, RecordingWithoutYieldBlocksUntilAHandlerStopsIt) {
  auto v = MakeView();
  v->RecordFileName = TempDir() + "/noyield.avi";
  v->RecordYield = false;
  v->RecordFrameRate = 30;
  v->SetPreviewRate(0);
  int frames = 0;
  v->SetOnVideoFrame([&](TObject*, TBitmap*) {
    if (++frames == 8) v->StopRecord();
  });
  v->SetShowVideo(true);
  v->StartRecord();  // returns only once stopped
  EXPECT_GE(frames, 8);
  EXPECT_FALSE(v->Recording());
  const std::string probe = Probe(v->RecordFileName, "nb_read_frames");
  ASSERT_NE(probe.find("nb_read_frames="), std::string::npos) << probe;
  EXPECT_GE(std::stoi(probe.substr(probe.find('=') + 1)), 4);
}

TEST_F(CaptureTest, EscapeEndsARecordingThatDoesNotYield) {
  auto v = MakeView();
  v->RecordFileName = TempDir() + "/escape.avi";
  v->RecordYield = false;
  v->SetShowVideo(true);
  QTimer::singleShot(50, v.get(), [&] {
    QCoreApplication::postEvent(v.get(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  });
  // Should Escape be lost, a timer (timers still run) ends the recording late instead of never.
  QTimer::singleShot(4000, v.get(), [&] { v->StopRecord(); });
  const auto start = std::chrono::steady_clock::now();
  v->StartRecord();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_FALSE(v->Recording());
  EXPECT_NE(Probe(v->RecordFileName, "codec_name").find("mjpeg"), std::string::npos);
}

TEST_F(CaptureTest, RecordingWithSoundAndAnotherEncoder) {
  SetCapAudioInput("lavfi", "sine=frequency=440:sample_rate=22050");
  auto v = MakeView();
  v->RecordFileName = TempDir() + "/sound.avi";
  v->RecordAudio = true;
  v->SetShowVideo(true);
  TCapCompressor ffv1;
  ffv1.Name = "ffv1";
  ASSERT_TRUE(capSetCompressor(v->CaptureWindow(), ffv1));
  v->StartRecord();
  SpinEvents(700);
  v->StopRecord();
  EXPECT_NE(Probe(v->RecordFileName, "codec_name").find("codec_name=ffv1"), std::string::npos);
  const std::string audio = Probe(v->RecordFileName, "codec_name,sample_rate", "a:0");
  EXPECT_NE(audio.find("codec_name=pcm_s16le"), std::string::npos) << audio;
  EXPECT_NE(audio.find("sample_rate=22050"), std::string::npos) << audio;
}

TEST_F(CaptureTest, FailuresRaiseTheirTexts) {
  auto v = MakeView();
  v->SetVideoSource(4);  // no such driver
  EXPECT_EQ(Message([&] { v->SetShowVideo(true); }), kCapTextOpenDriver);
  EXPECT_EQ(Message([&] { v->GetCaps(); }), kCapTextOpenDriver);
  EXPECT_EQ(Message([&] { v->DriverConnect(); }), kCapTextOpenDriver);
  EXPECT_FALSE(v->DriverConnectNE());
  EXPECT_FALSE(v->DoConfigureFormat());
  EXPECT_FALSE(v->HasDlgVideoFormat());
  EXPECT_EQ(Message([&] { v->StartRecord(); }), kCapTextStartRecording);  // nothing connected
  EXPECT_FALSE(v->Recording());

  v->SetVideoSource(0);
  v->SetShowVideo(true);
  v->RecordFileName = TempDir() + "/no/such/folder/x.avi";
  EXPECT_EQ(Message([&] { v->StartRecord(); }), kCapTextCreateAvi);
  EXPECT_FALSE(v->Recording());
  // Sound asked for where there is no input to take it from.
  SetCapAudioInput("no-such-input-format", "default");
  v->RecordFileName = TempDir() + "/nosound.avi";
  v->RecordAudio = true;
  EXPECT_EQ(Message([&] { v->StartRecord(); }), kCapTextStartRecording);
  EXPECT_FALSE(v->Recording());
  EXPECT_FALSE(CapAudioInputAvailable());
}

TEST_F(CaptureTest, DriverDialogsChangeTheDriver) {
  const TCapHwnd w = capCreateCaptureWindow("t", 0, 0, 0, 0, 0, nullptr, 0);
  ASSERT_TRUE(capSendMessage(w, WM_CAP_DRIVER_CONNECT, kPatternDriver));
  {
    TCapFormatDialog d(w);
    d.Formats()->setCurrentIndex(d.Formats()->findText("YUY2 (4:2:2 packed)"));
    d.Sizes()->setCurrentIndex(d.Sizes()->findText("640 x 480"));
    d.FrameRate()->setValue(15);
    ASSERT_TRUE(d.Apply());
    TBitmapInfoHeader f{};
    capSendMessage(w, WM_CAP_GET_VIDEOFORMAT, sizeof f, reinterpret_cast<intptr_t>(&f));
    EXPECT_EQ(f.biWidth, 640);
    EXPECT_EQ(f.biCompression, FourCC('Y', 'U', 'Y', '2'));
    EXPECT_EQ(capGetFrameRate(w), 15);
  }
  {
    TCapSourceDialog d(w);
    ASSERT_EQ(d.Inputs()->count(), 4);
    d.Inputs()->setCurrentIndex(2);
    ASSERT_TRUE(d.Apply());
    EXPECT_EQ(capGetSourceInfo(w).CurrentInput, 2);
  }
  {
    capSendMessage(w, WM_CAP_SET_SCALE, 1);
    TCapDisplayDialog d(w);
    EXPECT_TRUE(d.Scale()->isChecked());
    d.Scale()->setChecked(false);
    ASSERT_TRUE(d.Apply());
    EXPECT_FALSE(capGetScale(w));
  }
  {
    TCapCompressionDialog d(w);
    EXPECT_EQ(d.Encoders()->currentText(), "Motion JPEG");
    d.Encoders()->setCurrentIndex(d.Encoders()->findText("FFV1 (lossless)"));
    EXPECT_FALSE(d.Quality()->isEnabled());
    ASSERT_TRUE(d.Apply());
    EXPECT_EQ(capGetCompressor(w).Name, "ffv1");
  }
  capDestroyWindow(w);
}

}  // namespace
}  // namespace vxtest

#pragma once
// AVI clips made by the ffmpeg program and its decode of any AVI, for comparing ours
// with the peer. Clips are made on first use, once per test process, in its temp folder.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace avitest {

// Whether the ffmpeg and ffprobe programs run.
bool HaveFFmpeg();
// Whether this ffmpeg can encode with the named encoder ("libx264").
bool HaveEncoder(const std::string& name);

// Path of an AVI made from the testsrc pattern (name is also the file stem): encoder
// arguments as ffmpeg takes them ("-c:v mjpeg -q:v 3"), size, frame count and rate
// ("25", "30000/1001"). Empty when ffmpeg failed.
std::string MakeClip(const std::string& name, const std::string& encoderArgs, int width = 64,
                     int height = 48, int frames = 6, const std::string& rate = "12.5");

// Every frame of the file as ffmpeg decodes it: width * 3 bytes a row, top row first.
std::vector<std::vector<uint8_t>> PeerFrames(const std::string& path, int width, int height);

// What ffprobe says of the first video stream.
struct TProbed {
  std::string Codec;
  std::string Frames;  // nb_frames
  std::string Rate;    // r_frame_rate, "25/1"
  int Width = 0;
  int Height = 0;
};
TProbed Probe(const std::string& path);

// The bitmap's rows as packed BGR (pf1bit: 0 black, 1 white).
std::vector<uint8_t> PackedBGR(const vx::TBitmap& bitmap);

// Largest absolute difference of two equal-sized byte arrays (256 when sizes differ).
int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Mean absolute difference per byte (256 when sizes differ).
double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// A 24-bit test picture: a different gradient per seed, asymmetric in both directions.
vx::TBitmap Pattern(int width, int height, int seed);

}  // namespace avitest

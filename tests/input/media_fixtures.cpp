#include "tests/input/media_fixtures.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace zepra::test {

namespace fs = std::filesystem;

ClipFolder::ClipFolder() {
  std::string pattern = (fs::temp_directory_path() / "zepra-input-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a clip folder");
  dir_ = pattern;
}

ClipFolder::~ClipFolder() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::string ClipFolder::make(const std::string& name, const std::string& arguments) const {
  const fs::path clip = dir_ / name;
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments +
                              " '" + clip.string() + "'";
  return std::system(command.c_str()) == 0 ? clip.string() : std::string();
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool setMp4Rotation(std::vector<std::uint8_t>& bytes, int clockwiseDegrees, int width, int height) {
  const char tkhd[] = "tkhd";
  const auto found = std::search(bytes.begin(), bytes.end(), tkhd, tkhd + 4);
  if (found == bytes.end()) return false;
  const std::size_t box = static_cast<std::size_t>(found - bytes.begin()) - 4;
  // Version 1 headers have 64-bit times and duration, 12 bytes more.
  const std::size_t matrix = box + (bytes[box + 8] == 1 ? 60 : 48);
  if (matrix + 36 > bytes.size()) return false;
  // a, b, u, c, d, v, x, y, w: 16.16 fixed point, u, v and w 2.30.
  std::int32_t m[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
  switch (clockwiseDegrees) {
    case 90: m[0] = 0; m[1] = 0x10000; m[3] = -0x10000; m[4] = 0; m[6] = height << 16; break;
    case 180: m[0] = -0x10000; m[4] = -0x10000; m[6] = width << 16; m[7] = height << 16; break;
    case 270: m[0] = 0; m[1] = -0x10000; m[3] = 0x10000; m[4] = 0; m[7] = width << 16; break;
    default: break;
  }
  for (int i = 0; i < 9; ++i) {
    const auto v = static_cast<std::uint32_t>(m[i]);
    for (int k = 0; k < 4; ++k) bytes[matrix + 4 * i + k] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
  }
  return true;
}

std::vector<std::uint8_t> ffmpegFirstFrame(const std::string& clip) {
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -i '" + clip +
                              "' -frames:v 1 -f rawvideo -pix_fmt bgr24 -";
  std::vector<std::uint8_t> bytes;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    pclose(pipe);
  }
  return bytes;
}

void RecordingSink::noteLateCall() {
  if (runReturned) ++callsAfterRun;
}

void RecordingSink::setContainerFrameRate(std::uint32_t r, std::uint32_t s) {
  order.push_back("containerRate");
  containerRate = rate = r;
  containerScale = scale = s;
}

bool RecordingSink::setPictureAspect(const VideoInfoHeader2& format) {
  order.push_back("aspect");
  aspect = format;
  return true;
}

bool RecordingSink::acceptVideoFormat(const VideoInfoHeader& format) {
  order.push_back("video");
  video = format;
  if (refuseVideo) return false;
  if (format.AvgTimePerFrame != 0) {
    rate = static_cast<std::uint32_t>(10000000000LL / format.AvgTimePerFrame);
    scale = 1000;
  }
  return format.bmiHeader.biPlanes == 1 && format.bmiHeader.biBitCount == 24 &&
         format.bmiHeader.biCompression == kBiRgb && rate != 0 && scale != 0;
}

bool RecordingSink::acceptAudioFormat(const WaveFormatEx& format) {
  order.push_back("audio");
  audio = format;
  const int key = format.nChannels + format.wBitsPerSample;
  return format.wFormatTag == kWaveFormatPcm && (key == 9 || key == 10 || key == 17 || key == 18);
}

bool RecordingSink::addVideoSample(double time, const std::uint8_t* data, std::uint32_t length) {
  noteLateCall();
  ++videoCalls;
  if (videoDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(videoDelayMs));
  std::lock_guard lock(mutex_);
  if (frames.empty()) firstFrame.assign(data, data + length);
  frames.push_back({time, length});
  return frames.size() < failFromFrame;
}

void RecordingSink::addAudioBuffer(const std::uint8_t* data, std::uint32_t length) {
  noteLateCall();
  std::lock_guard lock(mutex_);
  ++audioCalls;
  sound.insert(sound.end(), data, data + length);
}

}  // namespace zepra::test

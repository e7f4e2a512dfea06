// Single pass against two passes at the same bitrate, on clips that cut hard
// every few seconds between very different scenes (a moving test pattern, a
// fractal zoom, the game of life, grainy colour bars, a cellular automaton),
// at 240x136 and 240x160. Both images are made by the real job, decoded by
// our reference decoder (what the console shows) and measured against the
// clip's frames in 8-bit RGB: the PSNR over the whole clip, the mean PSNR of
// the worst 5 % of frames, the bytes, and the time of each, with the ratios
// two-pass / single in the same run.
//
// Usage: zepra_two_pass_bench [bitrate [seconds per scene]]   (default 40 KB/s, 4 s)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cinepak/reference_decoder.h"
#include "job/conversion_job.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"
#include "player/player_image.h"

namespace {

namespace fs = std::filesystem;
using Frame = std::vector<std::uint8_t>;  // rgb24, top-down

struct Measure {
  std::uintmax_t bytes = 0;
  double seconds = 0;
  double globalPsnr = 0;
  double worstPsnr = 0;  // mean of the worst 5 % of frames
  std::size_t largestRecord = 0;
};

// Five scenes of `seconds` each and a tone under them. The game of life and
// the automaton run on coarse grids scaled up, so that their cells are
// blocks the picture can hold; the bars carry moving grain.
std::string scenes(int width, int height, int seconds) {
  const std::string frame = std::to_string(width) + "x" + std::to_string(height);
  const std::string size = "size=" + frame + ":rate=30";
  const std::string grid = "size=" + std::to_string(width / 4) + "x" + std::to_string(height / 4) + ":rate=30";
  const std::string up = ",scale=" + frame + ":flags=neighbor";
  const std::string d = std::to_string(seconds);
  return "-f lavfi -i testsrc2=" + size + ":duration=" + d +
         " -f lavfi -i mandelbrot=" + size + ",trim=duration=" + d +
         " -f lavfi -i life=" + grid + ":seed=7:mold=10:ratio=0.5:death_color=#202080:life_color=#ffcc00" + up +
         ",trim=duration=" + d +
         " -f lavfi -i smptebars=" + size + ":duration=" + d + ",noise=alls=20:allf=t:all_seed=7" +
         " -f lavfi -i cellauto=" + grid + ":rule=110" + up + ",trim=duration=" + d +
         " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + std::to_string(5 * seconds);
}

bool makeClip(const fs::path& clip, int width, int height, int seconds) {
  const std::string command = "ffmpeg -nostdin -loglevel error -y " + scenes(width, height, seconds) +
                              " -filter_complex \"[0:v][1:v][2:v][3:v][4:v]concat=n=5:v=1:a=0,format=bgr0[v]\""
                              " -map \"[v]\" -map 5:a -c:v ffv1 -c:a pcm_s16le '" + clip.string() + "'";
  return std::system(command.c_str()) == 0;
}

// Every second frame: the "1/2" frame rate keeps source frames 0, 2, 4, ...
std::vector<Frame> sourceFrames(const fs::path& clip, int width, int height) {
  const std::string command = "ffmpeg -nostdin -loglevel error -i '" + clip.string() +
                              "' -f rawvideo -pix_fmt rgb24 pipe:";
  std::vector<Frame> frames;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return frames;
  Frame f(static_cast<std::size_t>(width) * height * 3);
  for (int n = 0; std::fread(f.data(), 1, f.size(), pipe) == f.size(); ++n)
    if (n % 2 == 0) frames.push_back(f);
  pclose(pipe);
  return frames;
}

int expand(int v) { return (v << 3) | (v >> 2); }
std::uint32_t word(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24; }

double psnr(double mse) { return 10.0 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9)); }

// Walks the image's stream as the player does and measures every frame.
bool measureImage(const fs::path& image, const std::vector<Frame>& source, Measure& m) {
  std::ifstream file(image, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
  std::size_t at = zepra::playerImage().size();
  if (bytes.size() < at + 12) return false;
  const std::uint32_t frames = word(&bytes[at]);
  const int width = word(&bytes[at + 8]) & 0xFFFF, height = word(&bytes[at + 8]) >> 16;
  at += 12;
  zepra::ReferenceDecoder decoder(width, height);
  std::vector<double> errors;
  double total = 0;
  for (std::uint32_t n = 0; n < frames && n < source.size(); ++n) {
    if (at + 4 > bytes.size()) return false;
    const std::uint32_t record = word(&bytes[at]);
    const std::size_t length = record & 0xFFFF;
    if (length < 4 || at + length > bytes.size()) return false;
    m.largestRecord = std::max(m.largestRecord, length);
    decoder.decodeStrip(static_cast<std::uint16_t>(record >> 16), {&bytes[at + 4], length - 4});
    at += length;
    const auto picture = decoder.picture();
    double squared = 0;
    for (std::size_t i = 0; i < picture.size(); ++i) {
      const int shown[3] = {expand(picture[i] & 31), expand(picture[i] >> 5 & 31), expand(picture[i] >> 10 & 31)};
      for (int c = 0; c < 3; ++c) squared += double(shown[c] - source[n][i * 3 + c]) * (shown[c] - source[n][i * 3 + c]);
    }
    const double mse = squared / (3.0 * picture.size());
    errors.push_back(mse);
    total += mse;
  }
  if (errors.empty()) return false;
  m.globalPsnr = psnr(total / errors.size());
  std::sort(errors.begin(), errors.end(), std::greater<>());
  const std::size_t worst = std::max<std::size_t>(1, errors.size() / 20);
  double worstTotal = 0;
  for (std::size_t i = 0; i < worst; ++i) worstTotal += psnr(errors[i]);
  m.worstPsnr = worstTotal / worst;
  return true;
}

bool convert(const fs::path& clip, const fs::path& image, int bitrate, bool twoPass, Measure& m) {
  zepra::ConversionJob job;
  job.inputPath = clip.string();
  job.outputPath = image.string();
  job.bitrate = bitrate;
  job.frameRateIndex = zepra::FrameRateChoice::kKeep1of2;
  job.preFilter = zepra::kNoFilter;  // the source's own colours: the error is the compression's
  job.gammaEnabled = false;
  job.twoPass = twoPass;
  zepra::CancelSource cancel;
  const auto start = std::chrono::steady_clock::now();
  const int result = zepra::runConversionJob(job, cancel);
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result != zepra::kJobOk) {
    std::fprintf(stderr, "result %d: %s\n", result, zepra::lastErrorText().c_str());
    return false;
  }
  m.bytes = fs::file_size(image);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int bitrate = argc > 1 ? std::atoi(argv[1]) : 40;
  const int sceneSeconds = argc > 2 ? std::atoi(argv[2]) : 4;
  std::string pattern = (fs::temp_directory_path() / "zepra-two-pass-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const fs::path dir = pattern;
  std::printf("%-8s %-9s %10s %9s %9s %8s %9s\n", "size", "pass", "bytes", "global", "worst5%", "seconds",
              "largest");
  int status = 0;
  for (const auto& [width, height] : {std::pair{240, 136}, std::pair{240, 160}}) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const fs::path clip = dir / (size + ".avi");
    if (!makeClip(clip, width, height, sceneSeconds)) return 1;
    const std::vector<Frame> source = sourceFrames(clip, width, height);
    Measure single, twoPass;
    if (!convert(clip, dir / "single.gba", bitrate, false, single) || !measureImage(dir / "single.gba", source, single) ||
        !convert(clip, dir / "two.gba", bitrate, true, twoPass) || !measureImage(dir / "two.gba", source, twoPass)) {
      std::fprintf(stderr, "conversion of %s failed\n", size.c_str());
      status = 1;
      continue;
    }
    for (const auto& [name, m] : {std::pair{"single", single}, std::pair{"two-pass", twoPass}})
      std::printf("%-8s %-9s %10ju %8.2f %9.2f %8.2f %9zu\n", size.c_str(), name, m.bytes, m.globalPsnr, m.worstPsnr,
                  m.seconds, m.largestRecord);
    std::printf("%-8s %-9s %9.3fx %+8.2f %+9.2f %7.2fx\n", size.c_str(), "ratio", double(twoPass.bytes) / single.bytes,
                twoPass.globalPsnr - single.globalPsnr, twoPass.worstPsnr - single.worstPsnr,
                twoPass.seconds / single.seconds);
  }
  fs::remove_all(dir);
  return status;
}

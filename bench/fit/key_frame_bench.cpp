// What key frames cost a cartridge's stream: one clip of everyday motion (a
// test pattern, a slow fractal zoom, grainy bars) converted by the real job
// without key frames and with one every N seconds, in one pass at the
// bitrate and in two passes within the frame bytes of the single pass
// without key frames. Each stream is decoded by our reference decoder (what
// the console shows) and measured against the clip's frames in 8-bit RGB.
// Reports the frame bytes, the PSNR over the clip and the mean PSNR of the
// worst 5 % of frames, the differences against the same pass without key
// frames in the same run, and the most records from one key frame to the
// next (what a resume decodes silently at most).
//
// Usage: zepra_key_frame_bench [bitrate [seconds per scene]]   (default 40 KB/s, 20 s)

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/fit/stream_quality.h"

namespace {

namespace fs = std::filesystem;
using namespace zepra::bench;
constexpr int kWidth = 240, kHeight = 160;

}  // namespace

int main(int argc, char** argv) {
  const int bitrate = argc > 1 ? std::atoi(argv[1]) : 40;
  const int sceneSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
  std::string pattern = (fs::temp_directory_path() / "zepra-key-frames-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const fs::path dir = pattern, clip = dir / "clip.avi";
  const std::string size = "size=240x160:rate=30";
  const std::vector<std::string> scenes = {"testsrc2=" + size, "mandelbrot=" + size,
                                           "smptebars=" + size + ",noise=alls=12:allf=t:all_seed=7"};
  if (!makeSceneClip(clip, scenes, sceneSeconds)) return 1;
  const std::vector<Frame> source = keptFrames(clip, kWidth, kHeight);
  zepra::ConversionJob job = benchJob(clip, bitrate);

  std::printf("%-9s %-10s %10s %8s %9s %9s %8s %9s %9s\n", "pass", "key every", "bytes", "global", "worst5%",
              "bytes", "global", "worst5%", "most run");
  int status = 0;
  std::uint64_t allowance = 0;  // the single pass's without key frames
  for (const bool twoPasses : {false, true}) {
    StreamQuality none;
    for (const double seconds : {0.0, 2.0, 4.0, 8.0}) {
      job.keyFrameSeconds = seconds;
      zepra::SizeControl control = zepra::sizeControl(job);
      if (twoPasses) control.frameAllowance = [allowance](const zepra::StreamShape&) { return allowance; };
      Conversion c;
      StreamQuality q;
      if (!convert(job, control, c) || !measureStream(c.stream, source, q)) {
        status = 1;
        continue;
      }
      if (seconds == 0) none = q;
      if (seconds == 0 && !twoPasses) allowance = q.frameBytes;
      const std::string every = seconds == 0 ? "none" : std::to_string(static_cast<int>(seconds)) + " s";
      std::printf("%-9s %-10s %10ju %8.2f %9.2f %8.4fx %+8.2f %+9.2f %9u\n", twoPasses ? "two-pass" : "single",
                  every.c_str(), static_cast<std::uintmax_t>(q.frameBytes), q.globalPsnr, q.worstPsnr,
                  double(q.frameBytes) / none.frameBytes, q.globalPsnr - none.globalPsnr,
                  q.worstPsnr - none.worstPsnr, q.longestRun);
      std::fflush(stdout);
    }
  }
  fs::remove_all(dir);
  return status;
}

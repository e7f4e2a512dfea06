// Single pass against two passes at equal bytes, on clips that cut hard
// every few seconds between very different scenes (a moving test pattern, a
// fractal zoom, the game of life, grainy colour bars, a cellular automaton),
// at 240x136 and 240x160. The single pass runs at the bitrate; the two-pass
// run then gets, as the most its frames may total, exactly what the single
// pass's frames took, through the job's own size control. Both streams are
// decoded by our reference decoder (what the console shows) and measured
// against the clip's frames in 8-bit RGB: the PSNR over the whole clip, the
// mean PSNR of the worst 5 % of frames, the frame bytes, the time (wall
// clock and the process's processor time, the steadier of the two on a
// shared machine) and the largest record, with the differences and ratios
// two-pass / single of the same run.
//
// Usage: zepra_two_pass_bench [bitrate [seconds per scene [runs]]]   (default 40 KB/s, 4 s, 1)

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

// The game of life and the automaton run on coarse grids scaled up, so that
// their cells are blocks the picture can hold; the bars carry moving grain.
std::vector<std::string> scenes(int width, int height) {
  const std::string frame = std::to_string(width) + "x" + std::to_string(height);
  const std::string size = "size=" + frame + ":rate=30";
  const std::string grid = "size=" + std::to_string(width / 4) + "x" + std::to_string(height / 4) + ":rate=30";
  const std::string up = ",scale=" + frame + ":flags=neighbor";
  return {"testsrc2=" + size, "mandelbrot=" + size,
          "life=" + grid + ":seed=7:mold=10:ratio=0.5:death_color=#202080:life_color=#ffcc00" + up,
          "smptebars=" + size + ",noise=alls=20:allf=t:all_seed=7", "cellauto=" + grid + ":rule=110:random_seed=7" + up};
}

void print(const char* size, const char* pass, const StreamQuality& q, const Conversion& c) {
  std::printf("%-8s %-9s %10ju %8.2f %9.2f %8.2f %9.2f %9zu\n", size, pass, static_cast<std::uintmax_t>(q.frameBytes),
              q.globalPsnr, q.worstPsnr, c.seconds, c.processorSeconds, q.largestRecord);
}

}  // namespace

int main(int argc, char** argv) {
  const int bitrate = argc > 1 ? std::atoi(argv[1]) : 40;
  const int sceneSeconds = argc > 2 ? std::atoi(argv[2]) : 4;
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  std::string pattern = (fs::temp_directory_path() / "zepra-two-pass-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const fs::path dir = pattern;
  std::printf("%-8s %-9s %10s %8s %9s %8s %9s %9s\n", "size", "pass", "bytes", "global", "worst5%", "seconds",
              "processor", "largest");
  int status = 0;
  for (const auto& [width, height] : {std::pair{240, 136}, std::pair{240, 160}}) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const fs::path clip = dir / (size + ".avi");
    if (!makeSceneClip(clip, scenes(width, height), sceneSeconds)) return 1;
    const std::vector<Frame> source = keptFrames(clip, width, height);
    const zepra::ConversionJob job = benchJob(clip, bitrate);
    for (int run = 0; run < runs; ++run) {
      Conversion single, twoPass;
      StreamQuality one, two;
      if (!convert(job, zepra::sizeControl(job), single) || !measureStream(single.stream, source, one)) {
        status = 1;
        continue;
      }
      // Two passes within exactly the single pass's frame bytes.
      zepra::SizeControl equal;
      equal.frameAllowance = [bytes = one.frameBytes](const zepra::StreamShape&) { return bytes; };
      if (!convert(job, equal, twoPass) || !measureStream(twoPass.stream, source, two)) {
        status = 1;
        continue;
      }
      print(size.c_str(), "single", one, single);
      print(size.c_str(), "two-pass", two, twoPass);
      std::printf("%-8s %-9s %9.4fx %+8.2f %+9.2f %7.2fx %8.2fx\n", size.c_str(), "ratio",
                  double(two.frameBytes) / one.frameBytes, two.globalPsnr - one.globalPsnr,
                  two.worstPsnr - one.worstPsnr, twoPass.seconds / single.seconds,
                  twoPass.processorSeconds / single.processorSeconds);
      if (two.frameBytes > one.frameBytes) {
        std::fprintf(stderr, "%s: the two passes took more bytes than the single pass\n", size.c_str());
        status = 1;
      }
      std::fflush(stdout);
    }
  }
  fs::remove_all(dir);
  return status;
}

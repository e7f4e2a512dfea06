// Our compressor against FFmpeg's Cinepak encoder at equal bytes, on the same
// prepared clips: the testsrc2 pattern and natural-looking moving pictures
// made by lavfi (a zooming fractal, life, grain over drifting gradients, a
// camera-like pan over a still fractal picture), 240x160 and 240x136, made at
// 30 frames/s and reduced as a default conversion reduces them ("Auto").
//
// Ours runs as a default single pass does: the stream encoder's budget rule
// at the bitrate and the output frame rate, the default quality. FFmpeg's
// encoder is then tuned to our total bytes by searching its lambda; when no
// run lands within 1 % of our bytes, its PSNR is interpolated (linear in the
// logarithm of the bytes) between the two runs that bracket them. Both
// streams are decoded by our reference decoder (what the console shows) and
// measured over the whole clip two ways: the 15-bit picture, expanded as a
// display shows it, against the 24-bit input ("gain"), and against the input
// reduced to 15 bits, the best the console could show ("gain 15").
//
// Speed: frames per second of processor time (all threads) of each encoder on
// the same prepared frames, and the same in wall time; FFmpeg's figure is
// over all its runs on the clip.
//
// Usage: zepra_cinepak_bench [--frames N] [--bitrate KBS] [--ffmpeg-default] [--clip NAME] [--verbose]
//   N source frames at 30 frames/s (default 300, so 150 compressed); KBS is
//   our bitrate (default 30). --ffmpeg-default keeps FFmpeg at its default
//   lambda and tunes our bitrate to its bytes instead; --clip runs one source;
//   --verbose shows every run of the byte matching.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "cinepak/cinepak_compressor.h"
#include "cinepak/console_colour.h"
#include "cinepak/frame_budget.h"
#include "cinepak/reference_decoder.h"
#include "video/frame_rate.h"

namespace {

using Frame = std::vector<std::uint8_t>;  // rgb24, top-down

constexpr zepra::FrameRate kSourceRate{30, 1};
bool verbose = false;  // every run of the byte matching on stderr

struct Clip {
  std::string name;
  int width, height;
  zepra::FrameRate rate;      // after the reduction
  std::vector<Frame> frames;  // the frames a conversion compresses
};

struct Run {
  double parameter = 0;  // what was set: FFmpeg's lambda or our bitrate
  std::size_t bytes = 0;
  double psnr = 0;    // against the 24-bit input
  double psnr15 = 0;  // against the input in 15 bits
  double processor = 0, wall = 0;  // seconds
};

void replaceAll(std::string& text, const std::string& what, const std::string& with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

// graph: a lavfi graph in which WIDTH and HEIGHT stand for the clip's size.
Clip prepare(const std::string& name, std::string graph, int width, int height, int count) {
  const zepra::FrameSelection selection = zepra::resolveFrameRateMode(-1, kSourceRate);
  Clip clip{name, width, height, zepra::reduceFrameRate(selection, kSourceRate), {}};
  replaceAll(graph, "WIDTH", std::to_string(width));
  replaceAll(graph, "HEIGHT", std::to_string(height));
  const std::string command = "ffmpeg -nostdin -loglevel error -f lavfi -i \"" + graph + "\" -frames:v " +
                              std::to_string(count) + " -f rawvideo -pix_fmt rgb24 pipe:";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return clip;
  Frame f(static_cast<std::size_t>(width) * height * 3);
  for (std::uint32_t slot = 1; std::fread(f.data(), 1, f.size(), pipe) == f.size(); ++slot)
    if (zepra::isSlotKept(selection, slot)) clip.frames.push_back(f);
  pclose(pipe);
  return clip;
}

double processorSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Times a piece of work in processor and wall seconds.
class Stopwatch {
 public:
  Stopwatch() : wall_(std::chrono::steady_clock::now()), processor_(processorSeconds()) {}
  void stop(Run& run) const {
    run.processor = processorSeconds() - processor_;
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
  }

 private:
  std::chrono::steady_clock::time_point wall_;
  double processor_;
};

double psnr(double squared, double samples, double peak) {
  return squared > 0 ? 10.0 * std::log10(peak * peak * samples / squared) : 99.0;
}

// Decodes with our reference decoder and measures both PSNRs against the input.
bool measure(const Clip& clip, const std::vector<Frame>& coded, Run& run) {
  zepra::ReferenceDecoder decoder(clip.width, clip.height);
  double squared = 0, squared15 = 0;
  for (std::size_t n = 0; n < coded.size(); ++n) {
    if (!decoder.decodeFrame(coded[n])) return false;
    const auto picture = decoder.picture();
    const Frame& src = clip.frames[n];
    for (std::size_t i = 0; i < picture.size(); ++i) {
      for (int c = 0; c < 3; ++c) {
        const int shown = picture[i] >> (5 * c) & 31;
        const int wanted = src[i * 3 + c];
        squared += double(zepra::expandChannel(shown) - wanted) * (zepra::expandChannel(shown) - wanted);
        squared15 += double(shown - (wanted >> 3)) * (shown - (wanted >> 3));
      }
    }
  }
  const double samples = 3.0 * clip.width * clip.height * static_cast<double>(coded.size());
  run.psnr = psnr(squared, samples, 255.0);
  run.psnr15 = psnr(squared15, samples, 31.0);
  return true;
}

// FFmpeg's encoder at lambda (its global quality, in lambda units), or at its
// default when lambda is 0.
Run runFfmpeg(const Clip& clip, double lambda) {
  Run run;
  run.parameter = lambda;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_CINEPAK);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->width = clip.width;
  ctx->height = clip.height;
  ctx->pix_fmt = AV_PIX_FMT_RGB24;
  ctx->time_base = {static_cast<int>(clip.rate.scale), static_cast<int>(clip.rate.rate)};
  ctx->thread_count = 1;
  const int quality = static_cast<int>(std::lround(lambda));
  if (quality > 0) {
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = quality;
  }
  av_opt_set_int(ctx->priv_data, "max_strips", 1, 0);
  av_opt_set_int(ctx->priv_data, "min_strips", 1, 0);
  if (avcodec_open2(ctx, codec, nullptr) < 0) {
    avcodec_free_context(&ctx);
    return run;
  }
  AVFrame* frame = av_frame_alloc();
  frame->format = ctx->pix_fmt;
  frame->width = clip.width;
  frame->height = clip.height;
  av_frame_get_buffer(frame, 0);
  AVPacket* packet = av_packet_alloc();
  std::vector<Frame> coded;
  const Stopwatch watch;
  for (std::size_t n = 0; n <= clip.frames.size(); ++n) {
    if (n < clip.frames.size()) {
      av_frame_make_writable(frame);
      for (int y = 0; y < clip.height; ++y)
        std::copy_n(&clip.frames[n][static_cast<std::size_t>(y) * clip.width * 3], clip.width * 3,
                    frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0]);
      frame->pts = static_cast<std::int64_t>(n);
      frame->quality = quality;
      avcodec_send_frame(ctx, frame);
    } else {
      avcodec_send_frame(ctx, nullptr);
    }
    while (avcodec_receive_packet(ctx, packet) == 0) {
      coded.emplace_back(packet->data, packet->data + packet->size);
      run.bytes += packet->size;
      av_packet_unref(packet);
    }
  }
  watch.stop(run);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  if (!measure(clip, coded, run)) run.bytes = 0;
  return run;
}

// A session as a default single pass runs it: the stream encoder's budget
// rule at this bitrate and the clip's output rate, the default quality.
Run runOurs(const Clip& clip, int bitrate) {
  Run run;
  run.parameter = bitrate;
  zepra::BitmapInfoHeader input;
  input.biWidth = clip.width;
  input.biHeight = clip.height;
  auto compressor = zepra::locateCinepakCompressor(input);
  zepra::BitmapInfoHeader output;
  compressor->getOutputFormat(input, output);
  std::vector<std::uint8_t> buffer(compressor->maxFrameSize(input, output));
  // The compressor takes bottom-up BGR.
  std::vector<Frame> bgr;
  for (const Frame& f : clip.frames) {
    Frame b(f.size());
    for (int y = 0; y < clip.height; ++y)
      for (int x = 0; x < clip.width; ++x)
        for (int c = 0; c < 3; ++c)
          b[(static_cast<std::size_t>(clip.height - 1 - y) * clip.width + x) * 3 + c] =
              f[(static_cast<std::size_t>(y) * clip.width + x) * 3 + 2 - c];
    bgr.push_back(std::move(b));
  }
  // What the stream encoder tells the compressor before it begins.
  zepra::CompressFramesInfo info;
  info.lpbiOutput = &output;
  info.lpbiInput = &input;
  info.lFrameCount = static_cast<std::int32_t>(bgr.size());
  info.lQuality = static_cast<std::int32_t>(compressor->defaultQuality());
  info.lDataRate = bitrate << 10;
  info.dwRate = clip.rate.rate;
  info.dwScale = clip.rate.scale;
  std::vector<Frame> coded;
  const Stopwatch watch;
  compressor->framesInfo(info);
  compressor->begin(input, output);
  for (std::size_t n = 0; n < bgr.size(); ++n) {
    zepra::CompressParams p;
    p.lpbiOutput = &output;
    p.lpOutput = buffer.data();
    p.lpbiInput = &input;
    p.lpInput = bgr[n].data();
    p.lFrameNum = static_cast<std::int32_t>(n);
    p.dwFrameSize = zepra::bitrateBudget(bitrate, clip.rate, static_cast<std::uint32_t>(n + 1), run.bytes);
    p.dwQuality = compressor->defaultQuality();
    compressor->compress(p);
    coded.emplace_back(buffer.begin(), buffer.begin() + output.biSizeImage);
    run.bytes += output.biSizeImage;
  }
  compressor->end();
  watch.stop(run);
  if (!measure(clip, coded, run)) run.bytes = 0;
  return run;
}

// Tunes one encoder to `target` bytes. Its bytes follow roughly a power of
// its parameter (`exponent` is a first guess of that power), so each next
// parameter comes from a secant in the logarithms of parameter and bytes:
// through the two runs that bracket the target once there are such, else
// through the last two. It stops at a run within 1 % of the target, or when
// the bracket is narrower than 6 % in bytes or 1 % in parameter (the
// bytes of FFmpeg's encoder jump by a few percent here and there), or after `limit` runs; then the PSNRs are
// interpolated at the target (linear in the logarithm of the bytes) between
// the bracketing runs. `runs` collects every run (for the speed figures).
Run matchBytes(const std::function<Run(double)>& runAt, double start, double lowest, double highest,
               double exponent, std::size_t target, int limit, std::vector<Run>& runs) {
  const auto logBytes = [](const Run& r) { return std::log(static_cast<double>(r.bytes)); };
  const double logTarget = std::log(static_cast<double>(target));
  // The parameter at which the line through runs a and b reaches the target.
  const auto secant = [&](const Run& a, const Run& b) {
    const double slope = (logBytes(b) - logBytes(a)) / (std::log(b.parameter) - std::log(a.parameter));
    const double power = std::isfinite(slope) && slope != 0 ? slope : exponent;
    return std::exp(std::log(a.parameter) + (logTarget - logBytes(a)) / power);
  };
  int below = -1;  // the run with most bytes under the target
  int above = -1;  // the run with fewest bytes over it
  double parameter = start;
  for (int i = 0; i < limit; ++i) {
    runs.push_back(runAt(parameter));
    if (verbose) std::fprintf(stderr, "  run at %.1f: %zu bytes (target %zu)\n", parameter, runs.back().bytes,
                              target);
    const int at = static_cast<int>(runs.size()) - 1;
    const Run& r = runs[at];
    if (r.bytes == 0) break;
    if (std::fabs(static_cast<double>(r.bytes) / target - 1.0) <= 0.01) return r;
    if (r.bytes < target && (below < 0 || r.bytes > runs[below].bytes)) below = at;
    if (r.bytes > target && (above < 0 || r.bytes < runs[above].bytes)) above = at;
    if (below >= 0 && above >= 0 &&
        (runs[above].bytes < runs[below].bytes * 1.06 ||
         std::fabs(std::log(runs[above].parameter / runs[below].parameter)) < 0.01))
      break;
    double next;
    if (below >= 0 && above >= 0) {
      next = secant(runs[below], runs[above]);
    } else if (at > 0) {
      next = std::clamp(secant(runs[at - 1], r), r.parameter / 16, r.parameter * 16);
    } else {
      next = r.parameter * std::pow(static_cast<double>(target) / r.bytes, 1.0 / exponent);
    }
    next = std::clamp(next, lowest, highest);
    if (std::lround(next) == std::lround(parameter)) break;
    parameter = next;
  }
  if (below < 0 || above < 0) return Run{};
  const double t = (logTarget - logBytes(runs[below])) / (logBytes(runs[above]) - logBytes(runs[below]));
  Run r = runs[below];
  r.bytes = target;
  r.psnr += t * (runs[above].psnr - r.psnr);
  r.psnr15 += t * (runs[above].psnr15 - r.psnr15);
  r.parameter = 0;  // interpolated
  return r;
}

struct Speed {
  double processor = 0, wall = 0;  // frames per second
};

Speed speedOf(const std::vector<Run>& runs, std::size_t frames) {
  double processor = 0, wall = 0;
  for (const Run& r : runs) {
    processor += r.processor;
    wall += r.wall;
  }
  const double total = static_cast<double>(frames * runs.size());
  return {total / processor, total / wall};
}

}  // namespace

int main(int argc, char** argv) {
  int count = 300;
  int bitrate = 30;
  bool ffmpegDefault = false;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) count = std::atoi(argv[++i]);
    else if (arg == "--bitrate" && i + 1 < argc) bitrate = std::atoi(argv[++i]);
    else if (arg == "--ffmpeg-default") ffmpegDefault = true;
    else if (arg == "--clip" && i + 1 < argc) only = argv[++i];
    else if (arg == "--verbose") verbose = true;
    else {
      std::fprintf(stderr, "usage: %s [--frames N] [--bitrate KBS] [--ffmpeg-default] [--clip NAME] [--verbose]\n",
                   argv[0]);
      return 2;
    }
  }
  if (count < 2 || bitrate < 1) {
    std::fprintf(stderr, "The frame count must be at least 2 and the bitrate at least 1.\n");
    return 2;
  }
  // Grain moves over drifting gradients; the pan crops a moving window out of
  // one large fractal picture, with a little grain, as a camera would pan
  // over a still scene. Every source is seeded, so runs compare.
  const std::pair<const char*, const char*> sources[] = {
      {"testsrc2", "testsrc2=size=WIDTHxHEIGHT:rate=30"},
      {"mandelbrot", "mandelbrot=size=WIDTHxHEIGHT:rate=30"},
      {"life", "life=size=WIDTHxHEIGHT:rate=30:seed=7:mold=10:ratio=0.3:life_color=#e0c080:death_color=#204060,gblur=sigma=1.2"},
      {"grain", "color=c=black:size=WIDTHxHEIGHT:rate=30,format=gbrp,geq=r='128+100*sin((X+T*20)/60)':"
                "g='128+90*sin((Y-T*15)/45)':b='128+80*sin((X+Y+T*25)/80)',format=yuv420p,"
                "noise=c0s=12:c0f=t:all_seed=7"},
      {"pan", "mandelbrot=size=960x640:rate=30,trim=end_frame=1,loop=loop=-1:size=1,"
              "crop=WIDTH:HEIGHT:x='200+150*sin(n/40)':y='100+80*sin(n/55)',noise=alls=6:allf=t:all_seed=7"},
  };
  if (ffmpegDefault)
    std::printf("Ours tuned to the bytes of FFmpeg's encoder at its default lambda.\n\n");
  else
    std::printf("Ours at %d KB/s (default single pass); FFmpeg's encoder tuned to our bytes.\n\n", bitrate);
  std::printf("| clip | size | frames | ours bytes | FFmpeg bytes | runs | ours dB | FFmpeg dB | gain | gain 15 |"
              " ours fps | FFmpeg fps | processor ratio | wall ratio |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  double gain[2] = {0, 0}, gain15[2] = {0, 0}, ratio = 0, lowestRatio = 1e30;
  int clips[2] = {0, 0};
  for (auto [w, h] : {std::pair{240, 160}, {240, 136}}) {
    for (const auto& [name, graph] : sources) {
      if (!only.empty() && only != name) continue;
      const Clip clip = prepare(name, graph, w, h, count);
      if (clip.frames.empty()) {
        std::printf("| %s | %dx%d | could not prepare the clip (ffmpeg missing?) |\n", name, w, h);
        continue;
      }
      std::vector<Run> ourRuns, theirRuns;
      Run ours, theirs;
      const auto ffmpegAt = [&](double lambda) { return runFfmpeg(clip, lambda); };
      const auto oursAt = [&](double kbs) { return runOurs(clip, static_cast<int>(std::lround(kbs))); };
      if (ffmpegDefault) {
        theirRuns.push_back(runFfmpeg(clip, 0));
        theirs = theirRuns.back();
        const double guess = double(theirs.bytes) / 1024 * clip.rate.rate / clip.rate.scale / clip.frames.size();
        ours = matchBytes(oursAt, std::max(1.0, guess), 1, 4000, 1.0, theirs.bytes, 8, ourRuns);
      } else {
        ourRuns.push_back(runOurs(clip, bitrate));
        ours = ourRuns.back();
        // Two more runs for a steadier speed figure; the bytes are the same.
        ourRuns.push_back(runOurs(clip, bitrate));
        ourRuns.push_back(runOurs(clip, bitrate));
        theirs = matchBytes(ffmpegAt, 300 * FF_QP2LAMBDA, 1, 1e6, -1.0, ours.bytes, 5, theirRuns);
      }
      if (ours.bytes == 0 || theirs.bytes == 0) {
        std::printf("| %s | %dx%d | %zu | could not match the bytes |\n", name, w, h, clip.frames.size());
        continue;
      }
      const Speed our = speedOf(ourRuns, clip.frames.size());
      const Speed their = speedOf(theirRuns, clip.frames.size());
      std::printf("| %s | %dx%d | %zu | %zu | %zu%s | %zu | %.2f | %.2f | %+.2f dB | %+.2f dB | %.0f | %.1f | %.1fx "
                  "| %.1fx |\n",
                  name, w, h, clip.frames.size(), ours.bytes, theirs.bytes,
                  (ffmpegDefault ? ours : theirs).parameter == 0 ? " (interpolated)" : "",
                  (ffmpegDefault ? ourRuns : theirRuns).size(), ours.psnr, theirs.psnr, ours.psnr - theirs.psnr,
                  ours.psnr15 - theirs.psnr15, our.processor, their.processor, our.processor / their.processor,
                  our.wall / their.wall);
      std::fflush(stdout);
      const int kind = std::string(name) == "testsrc2" ? 1 : 0;
      gain[kind] += ours.psnr - theirs.psnr;
      gain15[kind] += ours.psnr15 - theirs.psnr15;
      ++clips[kind];
      ratio += our.processor / their.processor;
      lowestRatio = std::min(lowestRatio, our.processor / their.processor);
    }
  }
  if (clips[0] + clips[1] == 0) return 1;
  const auto mean = [&](const double* sums, int kind) { return clips[kind] ? sums[kind] / clips[kind] : 0.0; };
  std::printf("\nMean gain: natural-looking clips %+.2f dB (15-bit source %+.2f dB), test pattern %+.2f dB "
              "(15-bit source %+.2f dB)\n",
              mean(gain, 0), mean(gain15, 0), mean(gain, 1), mean(gain15, 1));
  std::printf("Processor-time speed ratio: mean %.1fx, lowest %.1fx\n", ratio / (clips[0] + clips[1]), lowestRatio);
}

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
// Usage: zepra_cinepak_bench [--frames N] [--bitrate KBS] [--ffmpeg-default] [--clip NAME] [--graph GRAPH]
//                            [--budgets B1,B2,...] [--verbose]
//   N source frames at 30 frames/s (default 300, so 150 compressed); KBS is
//   our bitrate (default 30). --ffmpeg-default keeps FFmpeg at its default
//   lambda and tunes our bitrate to its bytes instead; --clip runs one source;
//   --graph runs one lavfi graph of your own instead (WIDTH and HEIGHT stand
//   for the size); --verbose shows every run of the byte matching.
//   --budgets draws the curve of picture by bytes instead: ours with every
//   frame at each budget in turn (bytes), FFmpeg's encoder tuned to the same
//   total, and for both where the bytes go (blocks skipped, drawn from one V1
//   or four V4 entries, codebook entries sent, per frame).

#include <time.h>

#include <algorithm>
#include <bit>
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

// Where a stream's bytes go, per frame on average: how its blocks are coded
// and how many codebook entries it sends.
struct Split {
  double skip = 0, v1 = 0, v4 = 0;  // blocks
  double v4Entries = 0, v1Entries = 0;
  double codebookBytes = 0;  // codebook chunks, headers included
};

struct Run {
  double parameter = 0;  // what was set: FFmpeg's lambda, our bitrate or our budget per frame
  std::size_t bytes = 0;
  double psnr = 0;    // against the 24-bit input
  double psnr15 = 0;  // against the input in 15 bits
  double processor = 0, wall = 0;  // seconds
  Split split;
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

unsigned bigEndian16(const std::uint8_t* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }

// Adds one single-strip Cinepak frame's block kinds, entries and codebook
// bytes to split (a frame the decoder accepted, so its chunks are whole).
void addSplit(const Frame& frame, int blocks, Split& split) {
  constexpr std::size_t kChunks = zepra::kFrameHeaderSize + zepra::kStripHeaderSize;
  for (std::size_t at = kChunks; at + zepra::kChunkHeaderSize <= frame.size();) {
    const int id = frame[at];
    const std::size_t size = bigEndian16(&frame[at + 2]);
    if (size < zepra::kChunkHeaderSize || at + size > frame.size()) return;
    const std::uint8_t* data = &frame[at + zepra::kChunkHeaderSize];
    const std::uint8_t* end = &frame[at] + size;
    if (id >= zepra::kChunkV4Codebook && id <= zepra::kChunkV1CodebookGreyPartial) {
      const int entrySize = (id & zepra::kChunkGreyStep) != 0 ? 4 : 6;
      int entries = 0;
      if ((id & zepra::kChunkPartialStep) == 0) {
        entries = static_cast<int>(end - data) / entrySize;
      } else {
        // Each flag word says which of the next 32 entries follow it.
        while (data + 4 <= end) {
          const std::uint32_t flags = bigEndian16(data) << 16 | bigEndian16(data + 2);
          const int sent = std::popcount(flags);
          entries += sent;
          data += 4 + sent * entrySize;
        }
      }
      const bool v4 = (id & ~(zepra::kChunkGreyStep | zepra::kChunkPartialStep)) == zepra::kChunkV4Codebook;
      (v4 ? split.v4Entries : split.v1Entries) += entries;
      split.codebookBytes += static_cast<double>(size);
    } else if (id == zepra::kChunkIntraVectors || id == zepra::kChunkInterVectors) {
      std::uint32_t flags = 0;
      int bits = 0;
      const auto bit = [&] {
        if (bits == 0) {
          flags = data + 4 <= end ? bigEndian16(data) << 16 | bigEndian16(data + 2) : 0;
          data += 4;
          bits = 32;
        }
        --bits;
        return (flags >> bits & 1) != 0;
      };
      for (int b = 0; b < blocks && data <= end; ++b) {
        if (id == zepra::kChunkInterVectors && !bit()) {
          ++split.skip;
        } else if (bit()) {
          ++split.v4;
          data += 4;
        } else {
          ++split.v1;
          data += 1;
        }
      }
    } else if (id == zepra::kChunkV1Vectors) {
      split.v1 += blocks;
    }
    at += size;
  }
}

// Decodes with our reference decoder and measures both PSNRs against the
// input, and where the bytes went.
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
  run.split = {};
  for (const Frame& frame : coded) addSplit(frame, clip.width * clip.height / 16, run.split);
  for (double* figure : {&run.split.skip, &run.split.v1, &run.split.v4, &run.split.v4Entries, &run.split.v1Entries,
                         &run.split.codebookBytes})
    *figure /= static_cast<double>(coded.size());
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
// rule at this bitrate and the clip's output rate, the default quality. With
// a budget per frame instead, every frame gets that budget and the byte rate
// told is what such frames make.
Run runOurs(const Clip& clip, int bitrate, std::uint32_t frameBudget = 0) {
  Run run;
  run.parameter = frameBudget != 0 ? frameBudget : bitrate;
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
  info.lDataRate = frameBudget != 0 ? static_cast<std::int32_t>(std::uint64_t{frameBudget} * clip.rate.rate /
                                                                  clip.rate.scale)
                                    : bitrate << 10;
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
    p.dwFrameSize = frameBudget != 0
                        ? frameBudget
                        : zepra::bitrateBudget(bitrate, clip.rate, static_cast<std::uint32_t>(n + 1), run.bytes);
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

// "2700,4000,6000": bytes per frame, each from 1 to the longest frame.
bool parseBudgets(const char* text, std::vector<std::uint32_t>& budgets) {
  budgets.clear();
  for (const char* at = text;; ++at) {
    char* end = nullptr;
    const long budget = std::strtol(at, &end, 10);
    if (end == at || budget < 1 || budget > static_cast<long>(zepra::kMaxFrameLength)) return false;
    budgets.push_back(static_cast<std::uint32_t>(budget));
    if (*end == '\0') return true;
    if (*end != ',') return false;
    at = end;
  }
}

// The run whose bytes are nearest the target (for the split of an
// interpolated figure).
const Run& nearestRun(const std::vector<Run>& runs, std::size_t target) {
  const auto distance = [&](const Run& r) { return std::fabs(std::log(double(r.bytes) / double(target))); };
  return *std::min_element(runs.begin(), runs.end(),
                           [&](const Run& a, const Run& b) { return distance(a) < distance(b); });
}

void printSplit(const Split& split) {
  std::printf(" %.0f / %.0f / %.0f | %.0f / %.0f | %.0f |", split.skip, split.v1, split.v4, split.v4Entries,
              split.v1Entries, split.codebookBytes);
}

// Ours at each budget per frame, FFmpeg's encoder tuned to the same total.
void printCurve(const Clip& clip, const std::vector<std::uint32_t>& budgets) {
  for (const std::uint32_t budget : budgets) {
    const Run ours = runOurs(clip, 0, budget);
    std::vector<Run> theirRuns;
    const Run theirs = matchBytes([&](double lambda) { return runFfmpeg(clip, lambda); }, 300 * FF_QP2LAMBDA, 1,
                                  1e6, -1.0, ours.bytes, 5, theirRuns);
    const double frames = static_cast<double>(clip.frames.size());
    std::printf("| %s | %dx%d | %u | %.0f | %.2f |", clip.name.c_str(), clip.width, clip.height, budget,
                double(ours.bytes) / frames, ours.psnr);
    printSplit(ours.split);
    if (theirs.bytes == 0 || theirRuns.empty()) {
      std::printf(" could not match the bytes |\n");
      continue;
    }
    const Run& nearest = nearestRun(theirRuns, ours.bytes);
    std::printf(" %.2f%s | %.0f |", theirs.psnr, theirs.parameter == 0 ? " (interpolated)" : "",
                double(nearest.bytes) / frames);
    printSplit(nearest.split);
    std::printf("\n");
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int count = 300;
  int bitrate = 30;
  bool ffmpegDefault = false;
  std::string only, ownGraph;
  std::vector<std::uint32_t> budgets;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) count = std::atoi(argv[++i]);
    else if (arg == "--bitrate" && i + 1 < argc) bitrate = std::atoi(argv[++i]);
    else if (arg == "--ffmpeg-default") ffmpegDefault = true;
    else if (arg == "--clip" && i + 1 < argc) only = argv[++i];
    else if (arg == "--graph" && i + 1 < argc) ownGraph = argv[++i];
    else if (arg == "--budgets" && i + 1 < argc && parseBudgets(argv[i + 1], budgets)) ++i;
    else if (arg == "--verbose") verbose = true;
    else {
      std::fprintf(stderr,
                   "usage: %s [--frames N] [--bitrate KBS] [--ffmpeg-default] [--clip NAME] [--graph GRAPH]"
                   " [--budgets B1,B2,...] [--verbose]\n",
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
  std::vector<std::pair<std::string, std::string>> sources = {
      {"testsrc2", "testsrc2=size=WIDTHxHEIGHT:rate=30"},
      {"mandelbrot", "mandelbrot=size=WIDTHxHEIGHT:rate=30"},
      {"life", "life=size=WIDTHxHEIGHT:rate=30:seed=7:mold=10:ratio=0.3:life_color=#e0c080:death_color=#204060,gblur=sigma=1.2"},
      {"grain", "color=c=black:size=WIDTHxHEIGHT:rate=30,format=gbrp,geq=r='128+100*sin((X+T*20)/60)':"
                "g='128+90*sin((Y-T*15)/45)':b='128+80*sin((X+Y+T*25)/80)',format=yuv420p,"
                "noise=c0s=12:c0f=t:all_seed=7"},
      {"pan", "mandelbrot=size=960x640:rate=30,trim=end_frame=1,loop=loop=-1:size=1,"
              "crop=WIDTH:HEIGHT:x='200+150*sin(n/40)':y='100+80*sin(n/55)',noise=alls=6:allf=t:all_seed=7"},
  };
  if (!ownGraph.empty()) sources = {{"graph", ownGraph}};
  const auto prepared = [&](const std::string& name, const std::string& graph, int w, int h) {
    Clip clip = prepare(name, graph, w, h, count);
    if (clip.frames.empty()) std::printf("| %s | %dx%d | could not prepare the clip (ffmpeg missing?) |\n", name.c_str(), w, h);
    return clip;
  };
  if (!budgets.empty()) {
    std::printf("Ours with every frame at one budget; FFmpeg's encoder tuned to our bytes. Blocks and entries per "
                "frame.\n\n| clip | size | budget | ours bytes per frame | ours dB | ours skip / V1 / V4 | ours entries V4 / V1 |"
                " ours codebook bytes | FFmpeg dB | FFmpeg bytes per frame (nearest run) | FFmpeg skip / V1 / V4 |"
                " FFmpeg entries V4 / V1 | FFmpeg codebook bytes |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (auto [w, h] : {std::pair{240, 160}, {240, 136}})
      for (const auto& [name, graph] : sources)
        if (only.empty() || only == name)
          if (const Clip clip = prepared(name, graph, w, h); !clip.frames.empty()) printCurve(clip, budgets);
    return 0;
  }
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
      const Clip clip = prepared(name, graph, w, h);
      if (clip.frames.empty()) continue;
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
        std::printf("| %s | %dx%d | %zu | could not match the bytes |\n", name.c_str(), w, h, clip.frames.size());
        continue;
      }
      const Speed our = speedOf(ourRuns, clip.frames.size());
      const Speed their = speedOf(theirRuns, clip.frames.size());
      std::printf("| %s | %dx%d | %zu | %zu | %zu%s | %zu | %.2f | %.2f | %+.2f dB | %+.2f dB | %.0f | %.1f | %.1fx "
                  "| %.1fx |\n",
                  name.c_str(), w, h, clip.frames.size(), ours.bytes, theirs.bytes,
                  (ffmpegDefault ? ours : theirs).parameter == 0 ? " (interpolated)" : "",
                  (ffmpegDefault ? ourRuns : theirRuns).size(), ours.psnr, theirs.psnr, ours.psnr - theirs.psnr,
                  ours.psnr15 - theirs.psnr15, our.processor, their.processor, our.processor / their.processor,
                  our.wall / their.wall);
      std::fflush(stdout);
      const int kind = name == "testsrc2" ? 1 : 0;
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

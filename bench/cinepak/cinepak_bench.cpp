// Our compressor against FFmpeg's Cinepak encoder on the same prepared clips:
// the testsrc2 pattern and natural-looking moving pictures made by lavfi (a
// zooming fractal, life, grain over drifting gradients, a camera-like pan
// over a still fractal picture), 240x160 and 240x136. Both streams are
// decoded by our reference decoder (what the console shows) and measured
// against the input. Our byte budget is tuned, with the stream encoder's
// budget rule, so that our total matches FFmpeg's; the speed ratio compares
// frames per second on the same prepared frames.
//
// Usage: zepra_cinepak_bench [frames [quality [ffmpeg-q]]]
//   (default 300 frames, our default quality, FFmpeg's default scale; a larger
//   ffmpeg-q, as its -q:v, makes FFmpeg's streams and so both smaller)

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "cinepak/cinepak_compressor.h"
#include "cinepak/frame_budget.h"
#include "cinepak/reference_decoder.h"

namespace {

using Frame = std::vector<std::uint8_t>;  // rgb24, top-down

struct Clip {
  std::string name;
  int width, height;
  std::vector<Frame> frames;
};

struct Result {
  std::size_t bytes = 0;
  double psnr = 0;
  double fps = 0;
};

void replaceAll(std::string& text, const std::string& what, const std::string& with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

// graph: a lavfi graph in which WIDTH and HEIGHT stand for the clip's size.
Clip prepare(const std::string& name, std::string graph, int width, int height, int count) {
  Clip clip{name, width, height, {}};
  replaceAll(graph, "WIDTH", std::to_string(width));
  replaceAll(graph, "HEIGHT", std::to_string(height));
  const std::string command = "ffmpeg -nostdin -loglevel error -f lavfi -i \"" + graph + "\" -frames:v " +
                              std::to_string(count) + " -f rawvideo -pix_fmt rgb24 pipe:";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return clip;
  Frame f(static_cast<std::size_t>(width) * height * 3);
  while (static_cast<int>(clip.frames.size()) < count && std::fread(f.data(), 1, f.size(), pipe) == f.size())
    clip.frames.push_back(f);
  pclose(pipe);
  return clip;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int expand(int v) { return (v << 3) | (v >> 2); }

// Decodes with our reference decoder and measures PSNR against the input.
double measure(const Clip& clip, const std::vector<Frame>& coded) {
  zepra::ReferenceDecoder decoder(clip.width, clip.height);
  double squared = 0;
  for (std::size_t n = 0; n < coded.size(); ++n) {
    if (!decoder.decodeFrame(coded[n])) return -1;
    const auto picture = decoder.picture();
    const Frame& src = clip.frames[n];
    for (std::size_t i = 0; i < picture.size(); ++i) {
      const int shown[3] = {expand(picture[i] & 31), expand(picture[i] >> 5 & 31), expand(picture[i] >> 10 & 31)};
      for (int c = 0; c < 3; ++c) squared += double(shown[c] - src[i * 3 + c]) * (shown[c] - src[i * 3 + c]);
    }
  }
  const double mse = squared / (3.0 * clip.width * clip.height * coded.size());
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

Result runFfmpeg(const Clip& clip, int q, std::vector<Frame>& coded) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_CINEPAK);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->width = clip.width;
  ctx->height = clip.height;
  ctx->pix_fmt = AV_PIX_FMT_RGB24;
  ctx->time_base = {1, 30};
  if (q > 0) {
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = q * FF_QP2LAMBDA;
  }
  av_opt_set_int(ctx->priv_data, "max_strips", 1, 0);
  av_opt_set_int(ctx->priv_data, "min_strips", 1, 0);
  Result r;
  if (avcodec_open2(ctx, codec, nullptr) < 0) return r;
  AVFrame* frame = av_frame_alloc();
  frame->format = ctx->pix_fmt;
  frame->width = clip.width;
  frame->height = clip.height;
  av_frame_get_buffer(frame, 0);
  AVPacket* packet = av_packet_alloc();
  coded.clear();
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t n = 0; n <= clip.frames.size(); ++n) {
    if (n < clip.frames.size()) {
      av_frame_make_writable(frame);
      for (int y = 0; y < clip.height; ++y)
        std::copy_n(&clip.frames[n][static_cast<std::size_t>(y) * clip.width * 3], clip.width * 3,
                    frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0]);
      frame->pts = static_cast<std::int64_t>(n);
      avcodec_send_frame(ctx, frame);
    } else {
      avcodec_send_frame(ctx, nullptr);
    }
    while (avcodec_receive_packet(ctx, packet) == 0) {
      coded.emplace_back(packet->data, packet->data + packet->size);
      r.bytes += packet->size;
      av_packet_unref(packet);
    }
  }
  r.fps = clip.frames.size() / seconds(start);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  r.psnr = measure(clip, coded);
  return r;
}

// A session as the stream encoder runs it, with its budget rule: the running
// total a share per frame allows, never below half a share.
Result runOurs(const Clip& clip, std::size_t share, std::uint32_t quality, std::vector<Frame>& coded) {
  zepra::BitmapInfoHeader input;
  input.biWidth = clip.width;
  input.biHeight = clip.height;
  auto compressor = zepra::locateCinepakCompressor(input);
  zepra::BitmapInfoHeader output;
  compressor->getOutputFormat(input, output);
  std::vector<std::uint8_t> buffer(compressor->maxFrameSize(input, output));
  compressor->begin(input, output);
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
  coded.clear();
  Result r;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t n = 0; n < bgr.size(); ++n) {
    zepra::CompressParams p;
    p.lpbiOutput = &output;
    p.lpOutput = buffer.data();
    p.lpbiInput = &input;
    p.lpInput = bgr[n].data();
    p.lFrameNum = static_cast<std::int32_t>(n);
    const std::size_t target = share * (n + 1);
    p.dwFrameSize = static_cast<std::uint32_t>(std::max(target > r.bytes ? target - r.bytes : 1, share / 2));
    p.dwQuality = quality;
    compressor->compress(p);
    coded.emplace_back(buffer.begin(), buffer.begin() + output.biSizeImage);
    r.bytes += output.biSizeImage;
  }
  r.fps = bgr.size() / seconds(start);
  compressor->end();
  r.psnr = measure(clip, coded);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 300;
  const std::uint32_t quality = argc > 2 ? static_cast<std::uint32_t>(std::atoi(argv[2])) : zepra::kDefaultQuality;
  const int ffmpegQ = argc > 3 ? std::atoi(argv[3]) : 0;
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
  std::vector<Clip> clips;
  for (auto [w, h] : {std::pair{240, 160}, {240, 136}})
    for (const auto& [name, graph] : sources) clips.push_back(prepare(name, graph, w, h, count));
  double naturalGain = 0, patternGain = 0, speed = 0;
  int natural = 0, patterns = 0, measured = 0;
  std::printf("| clip | size | frames | FFmpeg bytes | ours bytes | FFmpeg PSNR | ours PSNR | PSNR gain | FFmpeg fps | ours fps | speed ratio |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Clip& clip : clips) {
    if (clip.frames.empty()) {
      std::printf("| %s | %dx%d | could not prepare the clip (ffmpeg missing?) |\n", clip.name.c_str(), clip.width,
                  clip.height);
      continue;
    }
    std::vector<Frame> coded;
    const Result theirs = runFfmpeg(clip, ffmpegQ, coded);
    // Largest share whose total stays within FFmpeg's.
    std::size_t low = 1, high = theirs.bytes / clip.frames.size() * 3;
    Result ours = runOurs(clip, low, quality, coded);
    while (high - low > std::max<std::size_t>(8, low / 100)) {
      const std::size_t mid = (low + high) / 2;
      const Result r = runOurs(clip, mid, quality, coded);
      if (r.bytes <= theirs.bytes) { low = mid; ours = r; } else { high = mid; }
    }
    ours = runOurs(clip, low, quality, coded);
    std::printf("| %s | %dx%d | %zu | %zu | %zu | %.2f dB | %.2f dB | %+.2f dB | %.1f | %.1f | %.1fx |\n", clip.name.c_str(),
                clip.width, clip.height, clip.frames.size(), theirs.bytes, ours.bytes, theirs.psnr, ours.psnr,
                ours.psnr - theirs.psnr, theirs.fps, ours.fps, ours.fps / theirs.fps);
    std::fflush(stdout);
    const bool pattern = clip.name == "testsrc2";
    (pattern ? patternGain : naturalGain) += ours.psnr - theirs.psnr;
    ++(pattern ? patterns : natural);
    speed += ours.fps / theirs.fps;
    ++measured;
  }
  if (measured == 0) return 1;
  std::printf("\nMean PSNR gain: natural-looking clips %+.2f dB, test pattern %+.2f dB; mean speed ratio %.1fx\n",
              natural ? naturalGain / natural : 0.0, patterns ? patternGain / patterns : 0.0, speed / measured);
}

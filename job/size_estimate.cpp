#include "job/size_estimate.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "cinepak/cinepak_compressor.h"
#include "encoder/stream_encoder.h"
#include "job/rom_builder.h"
#include "job/size_text.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"
#include "platform/temp_file.h"
#include "player/player_image.h"

namespace zepra {

namespace {

// The sample: up to this many stretches spread over the video, each some
// frames that only settle the encoder, then the frames that are counted.
constexpr int kMaxStretches = 8;
constexpr std::uint32_t kSettlingFrames = 3;
constexpr std::uint32_t kMinCountedFrames = 6;
constexpr std::uint32_t kMaxCountedFrames = 30;
// The share of the video's frames the counted frames aim at.
constexpr double kSampleShare = 0.08;
// A shorter video takes fewer stretches, down to kMinStretches, so that the
// sample compresses at most this share of its frames: compressing them is
// most of what the sample costs, and a short video's conversion is quick.
constexpr double kMostSampledShare = 0.15;
constexpr int kMinStretches = 5;
// Stretches that would cover more than this share of the video give way to
// one that covers all of it.
constexpr double kWholeVideoShare = 0.5;

// A stretch is a window of the movie: the graph decodes only those.
using Stretch = DecodingWindow;

// Takes the decoded frames of the stretches and compresses each with a fresh
// encoder of the job's settings; everything outside them is passed over, and
// decoding stops after the last one. Each stretch starts with an intra frame,
// whose bytes are kept apart: the stream's key frames cost what they do.
//
// A stream remembers the price its byte rate has lately sustained, and a
// stretch is priced as the stream would be there: its compressor starts with
// the memory the stretch before it left, carried over the frames between as
// frames held at the floor teach it. The first stretch opens the video, as
// the stream does, so what the stream's first frames teach is carried on. A
// high price learnt at the start (a first picture the first budgets cannot
// refine) holds a stream's frames back for many seconds; a cold memory in
// every stretch would count them at the lowest price instead.
class SampleRun final : public MediaSink {
 public:
  // The run first probes the input's formats with the job's settings, while
  // the graph is built.
  SampleRun(const DriverArguments& arguments, const CancelSource* cancel = nullptr)
      : arguments_(arguments), streamPath_("length-probe"), cancel_(cancel) {}

  // The encoder of the settings, which also judges the formats.
  bool configure(StreamEncoder& encoder) const {
    encoder.setKeyFrameInterval(keyFrameSeconds_);
    return encoder.setOutputName(streamPath_.c_str()) &&
           encoder.setOptions(arguments_.trim, arguments_.autoTrim, arguments_.width, arguments_.height,
                              arguments_.frameRateMode, arguments_.preFilter, arguments_.bitrate,
                              arguments_.gamma);
  }

  // What the run then compresses: the stretches, each with a fresh encoder
  // of these settings writing to streamPath. keyFrameSeconds: the key frames
  // of the job, for a sample that is the whole video; 0 for stretches, whose
  // key frames are counted apart.
  void sample(const DriverArguments& arguments, std::string streamPath, std::vector<Stretch> stretches,
              std::uint32_t settlingFrames, double keyFrameSeconds) {
    arguments_ = arguments;
    streamPath_ = std::move(streamPath);
    stretches_ = std::move(stretches);
    settlingFrames_ = settlingFrames;
    keyFrameSeconds_ = keyFrameSeconds;
  }

  void setContainerFrameRate(std::uint32_t rate, std::uint32_t scale) override {
    containerRate_ = {rate, scale};
    haveContainerRate_ = true;
    probe_.setContainerFrameRate(rate, scale);
  }
  bool setPictureAspect(const VideoInfoHeader2& format) override {
    aspect_ = format;
    haveAspect_ = true;
    return probe_.setPictureAspect(format);
  }
  bool acceptVideoFormat(const VideoInfoHeader& format) override {
    video_ = format;
    return configure(probe_) && probe_.acceptVideoFormat(format);
  }
  bool acceptAudioFormat(const WaveFormatEx& format) override { return probe_.acceptAudioFormat(format); }
  std::uint32_t sourceRate() const override { return probe_.sourceRate(); }
  std::uint32_t sourceScale() const override { return probe_.sourceScale(); }

  bool addVideoSample(double time, const std::uint8_t* data, std::uint32_t length) override {
    // A refused frame stops the decoding at once, without marking a job as
    // cancelled: the sample is nobody's job.
    if (cancel_ != nullptr && cancel_->cancelRequested()) {
      cancelled_ = true;
      return false;
    }
    while (next_ < stretches_.size() && time >= stretches_[next_].end) finishStretch();
    if (next_ >= stretches_.size()) return false;  // the sample is complete
    if (time < stretches_[next_].start) return true;
    if (!encoder_ && !startStretch(time)) return false;
    lastTime_ = time;
    if (!encoder_->addVideoSample(time - origin_, data, length)) return false;
    if (!intraSeen_ && encoder_->framesEncoded() > 0) {
      intraSeen_ = true;
      if (encoder_->framesEncoded() == 1) {
        ++intraFrames_;
        intraBytes_ += encoder_->bytesEncoded();
      }
    }
    if (!settled_ && encoder_->framesEncoded() >= settlingFrames_) {
      settled_ = true;
      settledFrames_ = encoder_->framesEncoded();
      settledBytes_ = encoder_->bytesEncoded();
    }
    return true;
  }
  void addAudioBuffer(const std::uint8_t*, std::uint32_t) override {}

  // After the run: the stretch that was open when the input ended counts too.
  void finish() {
    if (encoder_) finishStretch();
  }
  bool failed() const { return failed_; }
  bool cancelled() const { return cancelled_; }
  std::uint64_t countedFrames() const { return countedFrames_; }
  std::uint64_t countedBytes() const { return countedBytes_; }
  // The stretches' first frames, intra-coded.
  std::uint64_t intraFrames() const { return intraFrames_; }
  std::uint64_t intraBytes() const { return intraBytes_; }
  const StreamEncoder& probe() const { return probe_; }

 private:
  bool startStretch(double time) {
    encoder_ = std::make_unique<StreamEncoder>();
    if (!compressorState_.empty()) {
      const FrameRate rate = probe_.outputRate();
      const double between = (time - lastTime_) * rate.rate / rate.scale - 1.0;
      passFramesAtFloor(compressorState_, static_cast<std::uint32_t>(std::max(0.0, std::floor(between))));
      encoder_->setCompressorState(compressorState_);
    }
    if (haveContainerRate_) encoder_->setContainerFrameRate(containerRate_.rate, containerRate_.scale);
    if (!configure(*encoder_) || (haveAspect_ && !encoder_->setPictureAspect(aspect_)) ||
        !encoder_->acceptVideoFormat(video_) || !encoder_->openStream(0)) {
      failed_ = true;
      encoder_.reset();
      return false;
    }
    origin_ = time;
    intraSeen_ = false;
    settled_ = settlingFrames_ == 0;
    settledFrames_ = 0;
    settledBytes_ = 0;
    return true;
  }

  void finishStretch() {
    if (encoder_) {
      if (settled_) {
        countedFrames_ += encoder_->framesEncoded() - settledFrames_;
        countedBytes_ += encoder_->bytesEncoded() - settledBytes_;
      }
      encoder_->closeStream();
      compressorState_ = encoder_->compressorState();
      encoder_.reset();
    }
    ++next_;
  }

  DriverArguments arguments_;
  std::string streamPath_;
  const CancelSource* cancel_;
  std::vector<Stretch> stretches_;
  std::uint32_t settlingFrames_ = 0;
  double keyFrameSeconds_ = 0.0;
  StreamEncoder probe_;
  FrameRate containerRate_;
  bool haveContainerRate_ = false;
  VideoInfoHeader2 aspect_;
  bool haveAspect_ = false;
  VideoInfoHeader video_;

  std::size_t next_ = 0;
  std::unique_ptr<StreamEncoder> encoder_;
  double origin_ = 0.0;
  double lastTime_ = 0.0;  // of the last frame a stretch took
  std::vector<std::uint8_t> compressorState_;  // as the last stretch left it
  bool settled_ = false;
  std::uint32_t settledFrames_ = 0;
  std::uint64_t settledBytes_ = 0;
  std::uint64_t countedFrames_ = 0;
  std::uint64_t countedBytes_ = 0;
  bool intraSeen_ = false;
  std::uint64_t intraFrames_ = 0;
  std::uint64_t intraBytes_ = 0;
  bool failed_ = false;
  bool cancelled_ = false;
};

// A graph released once the estimate is done with it, however it ends.
class GraphInUse {
 public:
  explicit GraphInUse(std::unique_ptr<DecodingGraph> graph) : graph_(std::move(graph)) {}
  ~GraphInUse() {
    if (graph_) graph_->releaseDecodingGraph();
  }
  GraphInUse(const GraphInUse&) = delete;
  GraphInUse& operator=(const GraphInUse&) = delete;
  DecodingGraph* operator->() const { return graph_.get(); }
  explicit operator bool() const { return graph_ != nullptr; }

 private:
  std::unique_ptr<DecodingGraph> graph_;
};

// Where the stretches lie, in seconds, and how many frames settle each. The
// stretches are spread evenly over the video, the first at its start; where
// the input's index tells where its key frames are, each later stretch may
// move within half the spacing of its even place, to start at a key frame
// (nothing before it is decoded) or else as early as it may (less is decoded
// from the key frame before it).
std::vector<Stretch> placeStretches(const StreamShape& shape, double seconds, const std::vector<double>& keyFrames,
                                    std::uint32_t& settling) {
  const double frameSeconds = shape.rate.rate == 0 ? 0.0 : static_cast<double>(shape.rate.scale) / shape.rate.rate;
  const std::uint32_t counted =
      std::clamp<std::uint32_t>(static_cast<std::uint32_t>(shape.frames * kSampleShare / kMaxStretches),
                                kMinCountedFrames, kMaxCountedFrames);
  const std::uint32_t perStretch = counted + kSettlingFrames;
  const int stretchCount = std::clamp(static_cast<int>(shape.frames * kMostSampledShare / perStretch),
                                      kMinStretches, kMaxStretches);
  const double length = perStretch * frameSeconds;
  if (stretchCount * length >= seconds * kWholeVideoShare) {
    settling = 0;
    return {{0.0, INFINITY}};
  }
  settling = kSettlingFrames;
  const double spacing = (seconds - length) / (stretchCount - 1);
  std::vector<Stretch> stretches{{0.0, length}};
  for (int i = 1; i < stretchCount; ++i) {
    const double even = spacing * i;
    double start = even;
    if (!keyFrames.empty()) {
      const double low = std::max(stretches.back().end, even - spacing / 2);
      const double high = std::min(even + spacing / 2, seconds - length);
      start = low;
      // The key frame nearest the even place, if one lies within reach.
      auto key = std::lower_bound(keyFrames.begin(), keyFrames.end(), even);
      double nearest = INFINITY;
      if (key != keyFrames.end() && *key <= high) nearest = *key;
      if (key != keyFrames.begin() && *std::prev(key) >= low && even - *std::prev(key) <= nearest - even)
        nearest = *std::prev(key);
      if (std::isfinite(nearest)) start = nearest;
    }
    start = std::max(start, stretches.back().end);
    stretches.push_back({start, start + length});
  }
  return stretches;
}

}  // namespace

std::optional<std::string> neverFitsText(std::uint64_t playerBytes, const StreamShape& shape, std::uint64_t limit,
                                         bool target) {
  const std::uint64_t usable = usableImageBytes(limit);
  const std::uint64_t lowest = unpaddedImageBytes(playerBytes, shape, smallestFrameBytes(shape));
  if (lowest <= usable) return std::nullopt;
  StreamShape longest = shape;
  longest.frames = longestFittingFrames(playerBytes, shape, usable);
  const std::string fits = longest.frames == 0 ? std::string("no video of these settings fits in it")
                                               : "at most " + durationText(streamSeconds(longest)) +
                                                     " of video fits in it";
  if (target) {
    return "The target size of " + std::to_string(limit) + " bytes cannot hold this video: its sound and "
           "smallest frames alone make " + std::to_string(paddedImageBytes(lowest)) + " bytes; " + fits + ".";
  }
  return "The video is too long for a cartridge: its sound and smallest frames alone make " + mebibytesText(lowest) +
         ", more than the 32 MiB a cartridge holds; " + fits + ".";
}

TargetFigures targetFigures(const StreamShape& shape, std::uint64_t targetBytes) {
  const std::uint64_t player = playerImage().size();
  const std::uint64_t allowance = targetFrameAllowance(player, shape, targetBytes);
  TargetFigures figures;
  figures.bitrate = bitrateWithin(shape, allowance);
  figures.imageBytes = paddedImageBytes(unpaddedImageBytes(player, shape, allowance));
  figures.filled = allowance == frameBytesWithin(player, shape, targetBytes);
  figures.refusal = neverFitsText(player, shape, targetBytes, true);
  return figures;
}

SizeEstimate estimateForShape(const StreamShape& shape, int bitrate, std::uint64_t playerBytes,
                              std::optional<std::uint64_t> likelyFrameBytes,
                              std::optional<std::uint64_t> largestFrames) {
  SizeEstimate e;
  e.shape = shape;
  e.bitrate = bitrate;
  e.durationSeconds = streamSeconds(shape);
  const std::uint64_t lowestFrames = smallestFrameBytes(shape);
  const std::uint64_t mostFrames =
      std::max(largestFrames.value_or(largestFrameBytes(shape, bitrate)), lowestFrames);
  e.sampled = likelyFrameBytes.has_value();
  e.frameBytesSampled = likelyFrameBytes.value_or(0);
  const std::uint64_t likely = std::clamp(likelyFrameBytes.value_or(mostFrames), lowestFrames, mostFrames);
  e.streamBytesLowest = unpaddedImageBytes(0, shape, lowestFrames);
  e.streamBytesMax = unpaddedImageBytes(0, shape, mostFrames);
  e.streamBytesLikely = unpaddedImageBytes(0, shape, likely);
  e.imageBytesLowest = paddedImageBytes(playerBytes + e.streamBytesLowest);
  e.imageBytesMax = paddedImageBytes(playerBytes + e.streamBytesMax);
  e.imageBytesLikely = paddedImageBytes(playerBytes + e.streamBytesLikely);
  StreamShape longest = shape;
  longest.frames = longestFittingFrames(playerBytes, shape, kCartridgeSizes.back());
  e.longestFittingSeconds = streamSeconds(longest);
  return e;
}

std::optional<SizeEstimate> estimateImageSize(const ConversionJob& job, EstimateDepth depth,
                                              const DecodingGraphFactory& makeGraph, int* failure,
                                              const CancelSource* cancel) {
  auto fail = [failure](int result) -> std::optional<SizeEstimate> {
    if (failure != nullptr) *failure = result;
    return std::nullopt;
  };
  DriverArguments arguments = driverArguments(job);
  // The run probes the formats while the graph is built; its own stream is
  // opened only for the stretches.
  SampleRun run(arguments, cancel);
  if (StreamEncoder settings; arguments.bitrate < 1 || !run.configure(settings)) {
    setLastErrorText(arguments.bitrate < 1 ? "The bitrate must be at least 1 kilobyte per second."
                                           : "The settings cannot be converted.");
    return fail(kJobBadOptions);
  }
  // One opening of the input gives its length, which decides where the
  // stretches lie, and then decodes them.
  const GraphInUse graph(makeGraph());
  std::uint64_t sourceFrames = 0;
  const bool built = graph && graph->buildDecodingGraph(job.inputPath, run);
  if (!built || !graph->queryFrameCount(sourceFrames, run)) {
    if (lastErrorText().empty()) setLastErrorText("The input could not be opened: " + job.inputPath);
    return fail(built ? kJobNoFrameCount : kJobInputError);
  }
  const StreamEncoder& probe = run.probe();
  StreamShape shape;
  shape.frames = keptFrameCount(probe.frameSelection(), static_cast<std::uint32_t>(sourceFrames));
  shape.rate = probe.outputRate();
  shape.width = probe.outputWidth();
  shape.height = probe.outputHeight();
  // A target size sets the bitrate: the estimate is of the image it makes.
  if (job.fitBytes != 0)
    arguments.bitrate = std::max(1, bitrateForTarget(playerImage().size(), shape, job.fitBytes, kBitrateRange.max));
  // The most the frames can take. Two passes hold their frames within an
  // allowance (and key frames wait for a budget that holds them); a single
  // pass within the running total, which a key frame may pass.
  const bool twoPasses = job.twoPass || job.fitBytes != 0;
  const std::uint32_t keyFrameEvery = keyFrameInterval(job.keyFrameSeconds, shape.rate);
  const std::uint64_t largestFrames =
      job.fitBytes != 0 ? targetFrameAllowance(playerImage().size(), shape, job.fitBytes)
      : twoPasses       ? largestFrameBytes(shape, arguments.bitrate)
                        : largestFrameBytes(shape, arguments.bitrate, keyFrameEvery);

  std::optional<std::uint64_t> likely;
  if (depth == EstimateDepth::kSampled && shape.frames > 0) {
    std::string error;
    const std::optional<std::filesystem::path> dir = tempDirectory(&error);
    std::optional<TempFile> streamFile;
    if (dir) streamFile.emplace(*dir, "ZEPRA", &error);
    if (!streamFile || !*streamFile) {
      setLastErrorText("No temporary file for the size estimate: " + error);
      return fail(kJobStreamFailed);
    }
    std::uint32_t settling = 0;
    std::vector<Stretch> stretches =
        placeStretches(shape, streamSeconds(shape), graph->indexedKeyFrames(), settling);
    // Two passes spend what the frames need within the allowance: the sample
    // measures the need, at a bitrate that hardly ever holds a frame back.
    DriverArguments sampleArguments = arguments;
    if (twoPasses) sampleArguments.bitrate = kBitrateRange.max;
    const bool whole = settling == 0;
    run.sample(sampleArguments, streamFile->path().string(), stretches, settling, whole ? job.keyFrameSeconds : 0.0);
    // The sample's encoders report no progress of their own to the front end.
    const int progressBefore = lastProgressSent.load();
    // Only the stretches are decoded, each from the key frame before it.
    graph->decodeOnly(std::move(stretches));
    CancelSource never;
    graph->runDecodingGraph(never);  // false also when the sample stopped it early
    run.finish();
    lastProgressSent = progressBefore;
    if (run.cancelled()) {
      setLastErrorText("The size estimate was cancelled.");
      return fail(kJobRunFailed);
    }
    if (run.failed()) {
      if (lastErrorText().empty()) setLastErrorText("The input could not be sampled: " + job.inputPath);
      return fail(kJobInputError);
    }
    if (run.countedFrames() > 0) {
      const double perFrame = static_cast<double>(run.countedBytes()) / run.countedFrames();
      double total = perFrame * shape.frames;
      // The stretches count frames after their first: the stream's first
      // frame and its key frames cost what the stretches' first frames did.
      if (!whole && run.intraFrames() > 0) {
        const double intra = static_cast<double>(run.intraBytes()) / run.intraFrames();
        const std::uint64_t intraFrames = 1 + (keyFrameEvery != 0 ? (shape.frames - 1) / keyFrameEvery : 0);
        total += intraFrames * std::max(0.0, intra - perFrame);
      }
      likely = static_cast<std::uint64_t>(std::llround(total));
    }
  }
  SizeEstimate estimate =
      estimateForShape(shape, arguments.bitrate, playerImage().size(), likely, largestFrames);
  estimate.sourceFrames = sourceFrames;
  setLastErrorText({});
  return estimate;
}

}  // namespace zepra

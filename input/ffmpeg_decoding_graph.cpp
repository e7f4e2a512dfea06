// The decoding graph on FFmpeg's libraries. Built on the worker thread, it
// opens the input, picks the video stream and the first audio stream, opens
// their decoders and hands the encoder the formats. Running it starts three
// threads (the demuxer, which also decodes the sound; the video decoder; and
// the one that hands frames to the encoder) while the worker polls for
// completion and for a cancel request. A run limited to windows demuxes and
// decodes the video alone on one thread (input/window_reader.h).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "media/media_sink.h"
#include "input/audio_decoder.h"
#include "input/avi_header_probe.h"
#include "input/decoding_graph.h"
#include "input/ffmpeg_handles.h"
#include "input/frame_queue.h"
#include "input/graph_errors.h"
#include "input/packet_queue.h"
#include "input/sample_callbacks.h"
#include "input/video_decoder.h"
#include "input/window_reader.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"

namespace zepra {

namespace {

using namespace std::chrono_literals;

constexpr auto kCancelPollInterval = 500ms;
// Compressed video packets the demuxer may hold ahead of the video decoder.
constexpr std::size_t kVideoQueuePackets = 32;
// Converted frames waiting for the encoder: enough to keep both sides busy.
constexpr std::size_t kVideoQueueFrames = 3;
constexpr double kMaxNominalFramesPerSecond = 1000.0;
// Decoding that stops this far short of the container's stated duration
// means the file was cut off: a share of the length and a time in seconds.
constexpr double kMinShareDecoded = 0.9;
constexpr double kMaxShortfallSeconds = 0.5;

bool usableRate(AVRational rate) {
  return rate.num > 0 && rate.den > 0 && av_q2d(rate) <= kMaxNominalFramesPerSecond;
}

AVStream* firstStream(AVFormatContext& container, AVMediaType type) {
  for (unsigned i = 0; i < container.nb_streams; ++i) {
    AVStream* stream = container.streams[i];
    // A cover picture is stored as a video stream of one frame; it is not the movie.
    if (stream->codecpar->codec_type == type && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      return stream;
    }
  }
  return nullptr;
}

class FfmpegDecodingGraph final : public DecodingGraph {
 public:
  ~FfmpegDecodingGraph() override { releaseDecodingGraph(); }

  bool buildDecodingGraph(const std::string& inputPath, MediaSink& encoder) override;
  bool queryFrameCount(std::uint64_t& frameCount, MediaSink& encoder) override;
  bool runDecodingGraph(const CancelSource& cancel) override;
  void decodeOnly(std::vector<DecodingWindow> windows) override { windows_ = std::move(windows); }
  WindowedRun windowedRun() const override { return windowedRun_; }
  std::vector<double> indexedKeyFrames() const override;
  void releaseDecodingGraph() override;

 private:
  bool buildFailed(const char* text);
  bool buildFailed(int averror);
  int openContainer();
  void chooseStreams();
  int reopen(AVFormatContext*& container);
  bool openVideo(const std::string& inputPath, MediaSink& encoder, std::int64_t originStamp);
  bool openAudio(MediaSink& encoder, double timeOrigin);
  void readPackets(PacketQueue& videoPackets);
  void readWindows(FrameQueue& videoFrames);
  bool endedEarly() const;
  void threadFinished();
  bool waitForCompletion(std::chrono::milliseconds timeout);

  std::string url_;
  FormatContextPtr container_;
  AVStream* video_ = nullptr;
  AVStream* audio_ = nullptr;
  std::unique_ptr<VideoDecoder> videoDecoder_;
  std::unique_ptr<AudioDecoder> audioDecoder_;
  std::unique_ptr<VideoSampleCallback> videoCallback_;
  std::unique_ptr<AudioSampleCallback> audioCallback_;
  double aviSeconds_ = NAN;  // the length an AVI header states
  std::vector<DecodingWindow> windows_;
  WindowedRun windowedRun_;

  // State of a run, shared with the decoding threads.
  std::atomic<bool> stop_{false};
  int readError_ = 0;  // written by the demuxing thread, read after it ended
  std::mutex threadsMutex_;
  std::condition_variable threadsChanged_;
  int threadsRunning_ = 0;
  std::exception_ptr threadFailure_;
};

bool FfmpegDecodingGraph::buildFailed(const char* text) {
  setLastErrorText(text);
  releaseDecodingGraph();
  return false;
}

bool FfmpegDecodingGraph::buildFailed(int averror) {
  recordErrorText(averror);
  releaseDecodingGraph();
  return false;
}

bool FfmpegDecodingGraph::openVideo(const std::string& inputPath, MediaSink& encoder,
                                    std::int64_t originStamp) {
  videoDecoder_ = std::make_unique<VideoDecoder>();
  if (const int err = videoDecoder_->open(*container_, *video_, originStamp); err != 0) {
    return err == kStreamUnsupported ? buildFailed(kUnsupportedVideoText) : buildFailed(err);
  }
  // The container's nominal rate stands when the stream has no average frame
  // duration of its own. An AVI header states it directly.
  AviStreamRate avi;
  if (probeAviHeader(inputPath, avi) && avi.rate != 0 && avi.scale != 0) {
    encoder.setContainerFrameRate(avi.rate, avi.scale);
    aviSeconds_ = static_cast<double>(avi.length) * avi.scale / avi.rate;
  } else if (usableRate(video_->r_frame_rate)) {
    encoder.setContainerFrameRate(video_->r_frame_rate.num, video_->r_frame_rate.den);
  } else if (usableRate(video_->avg_frame_rate)) {
    encoder.setContainerFrameRate(video_->avg_frame_rate.num, video_->avg_frame_rate.den);
  }
  const VideoInfoHeader2 aspect = videoDecoder_->pictureAspect();
  if (aspect.dwPictAspectRatioX != 0 && aspect.dwPictAspectRatioY != 0) {
    encoder.setPictureAspect(aspect);
  }
  if (!encoder.acceptVideoFormat(videoDecoder_->format())) return buildFailed(kVideoFormatRefusedText);
  return true;
}

bool FfmpegDecodingGraph::openAudio(MediaSink& encoder, double timeOrigin) {
  audioDecoder_ = std::make_unique<AudioDecoder>();
  if (const int err = audioDecoder_->open(*audio_, timeOrigin); err != 0) {
    return err == kStreamUnsupported ? buildFailed(kUnsupportedAudioText) : buildFailed(err);
  }
  if (!encoder.acceptAudioFormat(audioDecoder_->format())) return buildFailed(kUnsupportedAudioText);
  return true;
}

int FfmpegDecodingGraph::openContainer() {
  container_.reset();
  AVFormatContext* opened = nullptr;
  if (const int err = avformat_open_input(&opened, url_.c_str(), nullptr, nullptr); err < 0) return err;
  container_.reset(opened);
  return avformat_find_stream_info(container_.get(), nullptr);
}

void FfmpegDecodingGraph::chooseStreams() {
  video_ = firstStream(*container_, AVMEDIA_TYPE_VIDEO);
  audio_ = firstStream(*container_, AVMEDIA_TYPE_AUDIO);
  for (unsigned i = 0; i < container_->nb_streams; ++i) {
    AVStream* stream = container_->streams[i];
    if (stream != video_ && stream != audio_) stream->discard = AVDISCARD_ALL;
  }
}

int FfmpegDecodingGraph::reopen(AVFormatContext*& container) {
  const int videoIndex = video_->index;
  if (const int err = openContainer(); err < 0) return err;
  chooseStreams();
  // The same file gives the same streams; anything else is a failure to read it.
  if (!video_ || !audio_ || video_->index != videoIndex) return AVERROR_INVALIDDATA;
  audio_->discard = AVDISCARD_ALL;
  container = container_.get();
  return 0;
}

bool FfmpegDecodingGraph::buildDecodingGraph(const std::string& inputPath, MediaSink& encoder) {
  releaseDecodingGraph();
  // "file:" keeps a name with a colon in it from being read as a protocol.
  url_ = "file:" + inputPath;
  if (const int err = openContainer(); err < 0) return buildFailed(err);
  chooseStreams();
  if (!video_) return buildFailed(kNoVideoStreamText);
  if (!audio_) return buildFailed(kNoAudioStreamText);

  // The picture's first time stamp is the movie's 0; the sound is put in step
  // with it. The picture keeps that origin as a stamp of its own time base.
  std::int64_t videoOrigin = 0;
  double timeOrigin = 0.0;
  if (video_->start_time != AV_NOPTS_VALUE) {
    videoOrigin = video_->start_time;
    timeOrigin = video_->start_time * av_q2d(video_->time_base);
  } else if (container_->start_time != AV_NOPTS_VALUE) {
    videoOrigin = av_rescale_q(container_->start_time, AV_TIME_BASE_Q, video_->time_base);
    timeOrigin = container_->start_time / static_cast<double>(AV_TIME_BASE);
  }
  if (!openVideo(inputPath, encoder, videoOrigin) || !openAudio(encoder, timeOrigin)) return false;
  videoCallback_ = std::make_unique<VideoSampleCallback>(encoder);
  audioCallback_ = std::make_unique<AudioSampleCallback>(encoder);
  return true;
}

bool FfmpegDecodingGraph::queryFrameCount(std::uint64_t& frameCount, MediaSink& encoder) {
  if (!container_) return false;
  // The container's own count of the video stream's frames, where it keeps one.
  if (video_->nb_frames > 0) {
    frameCount = static_cast<std::uint64_t>(video_->nb_frames);
    return true;
  }
  // Otherwise the duration, in 100 ns units, at the source rate.
  // The container's duration first: a stream's own is often only estimated.
  std::int64_t duration = AV_NOPTS_VALUE;
  if (container_->duration != AV_NOPTS_VALUE && container_->duration > 0) {
    duration = av_rescale(container_->duration, 10000000, AV_TIME_BASE);
  } else if (video_->duration != AV_NOPTS_VALUE && video_->duration > 0) {
    duration = av_rescale_q(video_->duration, video_->time_base, AVRational{1, 10000000});
  }
  if (duration == AV_NOPTS_VALUE || duration <= 0) {
    setLastErrorText(kUnknownLengthText);
    return false;
  }
  const std::uint32_t rate = encoder.sourceRate();
  const std::uint32_t scale = encoder.sourceScale();
  if (rate == 0 || scale == 0) {
    setLastErrorText(kUnknownFrameRateText);
    return false;
  }
  // Full-width products: a long input at a fine time scale exceeds 64 bits.
  const unsigned __int128 frames = static_cast<unsigned __int128>(duration) * rate /
                                   (static_cast<unsigned __int128>(scale) * 10000000u);
  frameCount = static_cast<std::uint64_t>(frames);
  return true;
}

std::vector<double> FfmpegDecodingGraph::indexedKeyFrames() const {
  std::vector<double> times;
  if (!video_ || !videoDecoder_) return times;
  // The index holds decoding stamps: a key frame's picture comes later by
  // the frames the codec reorders. Half a frame more keeps a time from
  // falling an ulp before the picture's.
  const double delay = (video_->codecpar->video_delay + 0.5) * (videoDecoder_->format().AvgTimePerFrame / 1e7);
  const int entries = avformat_index_get_entries_count(video_);
  for (int i = 0; i < entries; ++i) {
    const AVIndexEntry* entry = avformat_index_get_entry(video_, i);
    if ((entry->flags & AVINDEX_KEYFRAME) && entry->timestamp != AV_NOPTS_VALUE)
      times.push_back(std::fmax(0.0, videoDecoder_->stampTime(entry->timestamp) + delay));
  }
  // Some demuxers index the places they can resume reading at, every one
  // marked as a key frame whatever picture starts there. An index tells key
  // frames only when it lists other pictures too, or when every picture is
  // one.
  const AVCodecDescriptor* codec = avcodec_descriptor_get(video_->codecpar->codec_id);
  const bool intraOnly = codec != nullptr && (codec->props & AV_CODEC_PROP_INTRA_ONLY);
  if (static_cast<int>(times.size()) == entries && !intraOnly) return {};
  std::sort(times.begin(), times.end());
  return times;
}

bool FfmpegDecodingGraph::endedEarly() const {
  // The container's duration, or the length an AVI header states (a cut-off
  // AVI has its duration measured from what is left of it).
  double stated = std::nan("");
  if (container_->duration != AV_NOPTS_VALUE && container_->duration > 0) {
    stated = container_->duration / static_cast<double>(AV_TIME_BASE);
  }
  stated = std::fmax(stated, aviSeconds_);
  if (std::isnan(stated)) return false;
  const double start = container_->start_time == AV_NOPTS_VALUE
                           ? 0.0
                           : container_->start_time / static_cast<double>(AV_TIME_BASE);
  // fmax passes over a stream that decoded nothing (NaN).
  const double reached = std::fmax(videoDecoder_->endTime(), audioDecoder_->endTime()) - start;
  if (std::isnan(reached)) return true;
  return reached < stated * kMinShareDecoded && stated - reached > kMaxShortfallSeconds;
}

void FfmpegDecodingGraph::threadFinished() {
  std::lock_guard lock(threadsMutex_);
  --threadsRunning_;
  threadsChanged_.notify_all();
}

bool FfmpegDecodingGraph::waitForCompletion(std::chrono::milliseconds timeout) {
  std::unique_lock lock(threadsMutex_);
  return threadsChanged_.wait_for(lock, timeout, [&] { return threadsRunning_ == 0; });
}

void FfmpegDecodingGraph::readPackets(PacketQueue& videoPackets) {
  PacketPtr packet(av_packet_alloc());
  while (packet && !stop_) {
    const int err = av_read_frame(container_.get(), packet.get());
    if (err == AVERROR_EOF) break;
    if (err < 0) {
      readError_ = err;
      break;
    }
    if (packet->stream_index == video_->index) {
      if (!videoPackets.push(std::move(packet))) break;
      packet.reset(av_packet_alloc());
    } else {
      if (packet->stream_index == audio_->index) audioDecoder_->decode(packet.get(), *audioCallback_);
      av_packet_unref(packet.get());
    }
  }
  if (!packet) readError_ = AVERROR(ENOMEM);
  if (!stop_) audioDecoder_->decode(nullptr, *audioCallback_);
  videoPackets.finish();
}

void FfmpegDecodingGraph::readWindows(FrameQueue& videoFrames) {
  WindowReader reader(*container_, video_->index, *videoDecoder_, windows_,
                      [this](AVFormatContext*& container) { return reopen(container); });
  readError_ = reader.run(videoFrames, stop_);
  videoDecoder_->skipUnreferenced(false);
  windowedRun_ = {reader.seeks(), reader.fellBack(), reader.picturesDecoded()};
  videoFrames.finish();
}

bool FfmpegDecodingGraph::runDecodingGraph(const CancelSource& cancel) {
  if (!container_ || !videoCallback_) return false;

  stop_ = false;
  readError_ = 0;
  threadFailure_ = nullptr;
  const bool windowed = !windows_.empty();
  windowedRun_ = {};
  // Windows are a look at the pictures: the sound is not even read.
  audio_->discard = windowed ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
  threadsRunning_ = windowed ? 2 : 3;
  PacketQueue videoPackets(kVideoQueuePackets);
  FrameQueue videoFrames(kVideoQueueFrames, videoDecoder_->frameBytes());
  auto stopAll = [&] {
    stop_ = true;
    videoPackets.abort();
    videoFrames.abort();
  };
  // A thread ending by an exception stops the others; the worker rethrows it.
  auto guarded = [&](auto work) {
    return [&, work] {
      try {
        work();
      } catch (...) {
        std::lock_guard lock(threadsMutex_);
        if (!threadFailure_) threadFailure_ = std::current_exception();
        stopAll();
      }
      threadFinished();
    };
  };
  std::thread readerThread(guarded([&] { windowed ? readWindows(videoFrames) : readPackets(videoPackets); }));
  std::thread decoderThread;
  if (!windowed) decoderThread = std::thread(guarded([&] { videoDecoder_->decode(videoPackets, videoFrames, stop_); }));
  std::thread encoderThread(guarded([&] {
    videoDecoder_->deliver(videoFrames, *videoCallback_);
    // An encoder that has failed takes nothing more: decoding stops too.
    if (videoDecoder_->encoderFailed()) stopAll();
  }));

  bool cancelled = false;
  while (!waitForCompletion(kCancelPollInterval)) {
    if (cancel.cancelRequested()) {
      cancelled = true;
      break;
    }
  }
  // Stopping: both threads leave at their next check, and once they are
  // joined no callback can reach the encoder any more.
  stopAll();
  readerThread.join();
  if (decoderThread.joinable()) decoderThread.join();
  encoderThread.join();

  if (threadFailure_) std::rethrow_exception(threadFailure_);
  if (cancelled) {
    jobCancelled = true;
    recordErrorText(AVERROR(ECANCELED));
    return false;
  }
  // The encoder has said why in lastErrorText.
  if (videoDecoder_->encoderFailed()) return false;
  if (readError_ != 0) {
    recordErrorText(readError_);
    return false;
  }
  // Windows end where they end, wherever that is in the input.
  if (windowed) return true;
  if (videoDecoder_->framesDelivered() == 0) {
    if (videoDecoder_->metUnconvertiblePicture()) {
      setLastErrorText(kUnsupportedVideoText);
    } else if (videoDecoder_->lastError() != 0) {
      setLastErrorText(std::string(kNoFrameDecodedText) + " (" +
                       errorText(videoDecoder_->lastError()) + ")");
    } else {
      setLastErrorText(kNoFrameDecodedText);
    }
    return false;
  }
  if (endedEarly()) {
    setLastErrorText(kTruncatedText);
    return false;
  }
  return true;
}

void FfmpegDecodingGraph::releaseDecodingGraph() {
  videoCallback_.reset();
  audioCallback_.reset();
  videoDecoder_.reset();
  audioDecoder_.reset();
  video_ = nullptr;
  audio_ = nullptr;
  aviSeconds_ = NAN;
  container_.reset();
}

}  // namespace

std::unique_ptr<DecodingGraph> createDecodingGraph() {
  // The core never prints: what goes wrong reaches the user through
  // lastErrorText, not through FFmpeg's log on the terminal.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
  return std::make_unique<FfmpegDecodingGraph>();
}

}  // namespace zepra

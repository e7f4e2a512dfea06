#pragma once
// The StreamEncoder turns the decoded frames and sound of one job into a
// stream file: a header, one record per compressed frame and the audio
// trailer. Calling order within a job: setOutputName, setOptions, then (while
// the decoding graph is built) setContainerFrameRate, setPictureAspect,
// acceptVideoFormat and acceptAudioFormat, then openStream, then the frames
// and sound from the decoding threads, then closeStream, then destruction.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_track.h"
#include "cinepak/video_compressor.h"
#include "encoder/budget_plan.h"
#include "encoder/frame_pipeline.h"
#include "media/media_formats.h"
#include "media/media_sink.h"
#include "encoder/stream_file.h"
#include "video/frame_converter.h"
#include "video/frame_rate.h"
#include "video/geometry.h"

namespace zepra {

// The output frames between the key frames asked for every `seconds` (0:
// none) at this output rate: whole frames, never less than one.
std::uint32_t keyFrameInterval(double seconds, FrameRate rate);

class StreamEncoder final : public MediaSink {
 public:
  explicit StreamEncoder(CompressorLocator locate = locateCinepakCompressor);
  ~StreamEncoder() override;
  StreamEncoder(const StreamEncoder&) = delete;
  StreamEncoder& operator=(const StreamEncoder&) = delete;

  bool setOutputName(const char* path);
  // trim: left, bottom, right, top (not negative); width and height -1
  // (automatic) or 4..240 and 4..160 in steps of 4; frameRateMode -1..7;
  // preFilter 0..3; bitrate (kilobytes per second) at least 1; gamma
  // 0.01..7.99. False (nothing stored) when a value is out of range.
  bool setOptions(const int trim[4], bool autoTrim, int width, int height, int frameRateMode,
                  int preFilter, int bitrate, float gamma);

  // The largest image the stream may make (0: no limit) and the player's
  // share of it. A frame that makes the player, the stream so far and the
  // sound the frames so far need larger than that fails the stream at once
  // (imageTooBig), since the finished image could only be larger still.
  void setImageLimit(std::uint64_t playerBytes, std::uint64_t maxImageBytes);

  void setContainerFrameRate(std::uint32_t rate, std::uint32_t scale) override;
  bool setPictureAspect(const VideoInfoHeader2& format) override;
  bool acceptVideoFormat(const VideoInfoHeader& format) override;
  bool acceptAudioFormat(const WaveFormatEx& format) override;

  // Frames compressed after this take their budgets from the plan (which
  // must outlive the session) instead of the bitrate's running total; the
  // plan follows what the frames really spend.
  void setBudgetPlan(BudgetPlan* plan) { budgetPlan_ = plan; }

  // Set before openStream: frames are compressed on a thread of the
  // session's own, started by openStream, while the caller's thread paces
  // and converts the next ones. The stream is the same as without; a failed
  // frame stops the stream as ever, but the calls that hand frames over learn
  // of it a frame or two later, and the counters below are settled only once
  // closeStream has run.
  void setOverlap(bool overlap) { overlap_ = overlap; }

  // Asks the compressor for an intra-coded frame whenever `seconds` of
  // output have passed since the last one (0, the default: only the first
  // frame), so that playing can start at any of them. Key frames take their
  // budgets like every other frame. Set before openStream.
  void setKeyFrameInterval(double seconds) { keyFrameSeconds_ = seconds; }

  // The compressor's state block (its getState), empty before openStream or
  // when it keeps none; and, set before openStream, a state block the
  // session starts from instead of the compressor's own: a stream can go on
  // in the state another one's compressor was left in.
  std::vector<std::uint8_t> compressorState() const;
  void setCompressorState(std::vector<std::uint8_t> state) { startState_ = std::move(state); }

  // Creates the stream file, writes its header and begins the compression
  // session. frameCount: the input's length in source frames.
  bool openStream(std::uint32_t frameCount);
  // Paces the frame onto the source's time grid, repeating the last frame
  // over skipped slots. False once a frame could not be encoded: the stream
  // then keeps the frames before it and takes no more.
  bool addVideoSample(double time, const std::uint8_t* data, std::uint32_t length) override;
  // One slot of the grid; no data repeats the last frame. True for a slot
  // that the frame-rate reduction drops or a frame written whole.
  bool encodeFrame(const std::uint8_t* data, std::uint32_t length);
  void addAudioBuffer(const std::uint8_t* data, std::uint32_t length) override;
  // Ends the session, writes the audio trailer and the frame count (unless
  // the job was cancelled or no frame was compressed) and closes the file.
  // When the frame-rate reduction has dropped every delivered frame, the last
  // one is compressed first, so that a video with a picture shows it.
  // False when anything failed, including an earlier frame.
  bool closeStream();

  std::uint32_t sourceRate() const override;
  std::uint32_t sourceScale() const override;

  // After acceptVideoFormat: the converted frame's size, the window, the
  // output rate and the per-frame figures.
  int outputWidth() const { return options_.outputWidth; }
  int outputHeight() const { return options_.outputHeight; }
  TrimWindow trim() const { return options_.trim; }
  FrameRate outputRate() const { return outputRate_; }
  FrameSelection frameSelection() const { return selection_; }
  std::uint32_t frameByteTarget() const { return frameByteTarget_; }
  std::uint32_t playbackStep() const { return playbackStep_; }
  std::uint32_t framesEncoded() const { return framesEncoded_; }
  // Compressed bytes of the frames so far, as the byte budget counts them.
  std::uint64_t bytesEncoded() const { return bytesEncoded_; }
  // Sound collected so far, in converted (21024 Hz) samples.
  std::uint64_t audioSamples() const { return audio_.samples().size(); }
  // A frame failed because the stream file took no more bytes (a full
  // folder, a file-size limit), not because of the input.
  bool streamWriteFailed() const { return streamWriteFailed_; }
  // The stream stopped because the image would pass the limit of setImageLimit.
  bool imageTooBig() const { return imageTooBig_; }
  // Why acceptVideoFormat refused a format that decoded fine, for the user;
  // empty when the refusal needs no words beyond the format error (a format
  // that is not 24-bit RGB, or trims that leave no pixel).
  const std::string& formatRefusal() const { return formatRefusal_; }

 private:
  struct Options {
    TrimWindow trim;
    bool autoTrim = false;
    int outputWidth = 0;
    int outputHeight = 0;
    int frameRateMode = 0;
    int preFilter = 0;
    int bitrate = 0;  // kilobytes per second
    float gamma = 0.0f;
  };

  // Records why a frame rate is refused ("more" or "less" than a stream can
  // carry, and what to do) in formatRefusal_; false.
  bool refuseFrameRate(FrameRate rate, const char* comparison, const char* advice);
  bool beginCompression(std::uint32_t sourceFrames);
  bool keepDecodedFrame(const std::uint8_t* data, std::uint32_t length);
  bool convertAndCompress(const std::uint8_t* decoded);
  bool repeatLastFrame();
  bool handOver(std::uint8_t* frame);
  bool compressKeptFrame(const std::uint8_t* frame);
  bool keyFrameDue() const;
  bool writeTrailer();
  bool fail(std::string detail);

  // Session: the stream file and the compressor.
  CompressorLocator locate_;
  std::string streamPath_;
  StreamFile stream_;
  std::unique_ptr<VideoCompressor> compressor_;
  std::vector<BitmapInfoHeader> compressorOutputFormat_;  // as many bytes as the compressor asks
  std::vector<std::uint8_t> compressedFrame_;             // the largest compressed frame
  CompressParams compressParams_;
  bool sessionOpen_ = false;  // openStream succeeded and closeStream has not run
  std::atomic<bool> failed_{false};  // a frame failed: the stream takes no more
  bool overlap_ = false;
  BudgetPlan* budgetPlan_ = nullptr;  // two passes: the frames' budgets
  bool streamWriteFailed_ = false;
  bool imageTooBig_ = false;  // ... because the image would pass its limit
  std::uint64_t playerBytes_ = 0;
  std::uint64_t maxImageBytes_ = 0;  // 0: no limit
  std::vector<std::uint8_t> startState_;  // empty: the compressor's own
  double keyFrameSeconds_ = 0;       // 0: only the first frame is intra-coded
  std::uint32_t keyFrameEvery_ = 0;  // ... in output frames, from openStream on

  // Counters since openStream.
  std::uint32_t sourceFrameCount_ = 0;  // base of the progress figure
  std::uint32_t framesDelivered_ = 0;   // slots of the source grid, repeats included
  std::uint32_t framesEncoded_ = 0;     // frames compressed and written: the records
  std::uint64_t bytesEncoded_ = 0;      // compressed bytes so far
  std::uint32_t sinceKeyFrame_ = 0;     // frames written since the last intra-coded one, it included

  // Options, rewritten in place by acceptVideoFormat (trims, size, mode).
  Options options_;

  // Video format and geometry.
  bool videoAccepted_ = false;
  std::string formatRefusal_;
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  std::uint32_t pictureAspectX_ = 0;
  std::uint32_t pictureAspectY_ = 0;
  FrameRate sourceRate_;  // the container's, or the format's frame duration
  FrameRate outputRate_;  // after the frame-rate reduction
  FrameSelection selection_;
  std::uint32_t frameByteTarget_ = 0;  // bytes per output frame at the bitrate
  std::uint32_t playbackStep_ = 0;     // 16.16 output frames per display refresh

  // Frame buffers, allocated once per job.
  BitmapInfoHeader compressorInputFormat_;
  FrameConverter converter_;
  std::vector<std::uint8_t> previousFrame_; // the compressor's reference
  // The last decoded frame, kept whole only when it was not converted at
  // once (the frame-rate reduction dropped it), to be repeated over gaps.
  std::vector<std::uint8_t> lastVideoFrame_;
  bool haveVideoFrame_ = false;
  // The last frame converted, while it is still the last one delivered: a
  // repeat copies it instead of converting again.
  const std::uint8_t* lastConverted_ = nullptr;

  // Sound.
  AudioTrack audio_;

  // Converted frames on their way to the compressor; last, so that its
  // thread ends before anything it uses goes.
  FramePipeline pipeline_;
};

}  // namespace zepra

#pragma once
// Decodes only some windows of the input's video, for a look at a sample of
// its frames that costs a fraction of decoding it all. Before a window whose
// key frame lies ahead of what has been read, the reader seeks to that key
// frame and decodes from there, passing over the pictures before the window:
// so the pictures it keeps, and their times, are those that decoding through
// gives. A seek that fails, or lands where that cannot be trusted (on a
// picture that is not a key frame, or on one after the window's start),
// makes it open the input afresh and decode through from the start.
// Demuxing and decoding run on the calling thread; no sound is read.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "input/decoding_graph.h"
#include "input/ffmpeg_handles.h"

namespace zepra {

class FrameQueue;
class VideoDecoder;

class WindowReader {
 public:
  // reopen: opens the input afresh at its start and gives its container; 0
  // or the error. The windows are in time order and apart.
  WindowReader(AVFormatContext& container, int videoIndex, VideoDecoder& decoder,
               std::vector<DecodingWindow> windows, std::function<int(AVFormatContext*&)> reopen);

  // Publishes the pictures inside the windows until the last window is
  // complete, the input ends, stop is set or the frame queue is aborted.
  // 0, or the error that ended reading.
  int run(FrameQueue& frames, const std::atomic<bool>& stop);

  // How many times the input was repositioned; whether it was read through
  // from its start after a seek could not be trusted.
  int seeks() const { return seeks_; }
  bool fellBack() const { return fellBack_; }
  std::uint64_t picturesDecoded() const { return picturesDecoded_; }

 private:
  AVStream& video() const;
  const AVIndexEntry* indexedKeyFrame(double start) const;
  bool seekWorthwhile() const;
  void seek(FrameQueue& frames);
  void seekAgain();
  int recover();
  void take(const AVPacket& packet, FrameQueue& frames);
  void receive(FrameQueue& frames);
  void place(double time, bool key, FrameQueue& frames);

  AVFormatContext* container_;
  int videoIndex_;
  VideoDecoder& decoder_;
  std::vector<DecodingWindow> windows_;
  std::function<int(AVFormatContext*&)> reopen_;
  bool canSeek_;

  std::size_t next_ = 0;  // the windows before it are complete
  std::size_t soughtFor_ = SIZE_MAX;  // the window the last seek aimed at
  int attempts_ = 0;                  // seeks made for it
  bool indexed_ = false;              // the last seek went by the index
  bool indexTrusted_ = true;
  // The latest decoding stamp read since the input was last positioned.
  std::int64_t readStamp_ = AV_NOPTS_VALUE;
  // The last key frame read, and the longest stretch seen between two, in seconds.
  std::int64_t keyStamp_ = AV_NOPTS_VALUE;
  double keyGap_ = 0.0;
  // The longest a key frame's picture was seen to come after its decoding stamp, in seconds.
  double keyDelay_ = 0.0;
  bool awaitingKeyPacket_ = false;
  bool awaitingKeyPicture_ = false;
  bool landedWrong_ = false;
  bool maySkip_ = true;  // pictures no other refers to may be skipped before a window
  bool aborted_ = false;
  int seeks_ = 0;
  bool fellBack_ = false;
  std::uint64_t picturesDecoded_ = 0;
};

}  // namespace zepra

#include "input/window_reader.h"

#include <cmath>
#include <utility>

#include "input/frame_queue.h"
#include "input/video_decoder.h"

namespace zepra {

namespace {

// A seek aims first at the key frame before its window: through the
// stream's index, at the window's start; without one, the demuxer lands near
// the time it is given, so that far before the window as key frames have
// been seen apart. A seek that cannot be trusted (its key frame's picture
// came after the window's start) aims further back: kSeekLeadSeconds more,
// then kSeekLeadGrowth times as far each time, up to kSeekAttempts seeks. An
// index that misled a seek is not asked again.
constexpr double kSeekLeadSeconds = 1.0;
constexpr double kSeekLeadGrowth = 4.0;
constexpr int kSeekAttempts = 3;
// Reading on is cheaper than a seek when the window, or without an index
// the key frame likely before it, is this close to what was read.
constexpr double kReadOnSeconds = 0.5;

std::int64_t decodingStamp(const AVPacket& packet) {
  return packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
}

}  // namespace

WindowReader::WindowReader(AVFormatContext& container, int videoIndex, VideoDecoder& decoder,
                           std::vector<DecodingWindow> windows, std::function<int(AVFormatContext*&)> reopen)
    : container_(&container),
      videoIndex_(videoIndex),
      decoder_(decoder),
      windows_(std::move(windows)),
      reopen_(std::move(reopen)),
      canSeek_(container.pb != nullptr && (container.pb->seekable & AVIO_SEEKABLE_NORMAL) != 0) {}

AVStream& WindowReader::video() const { return *container_->streams[videoIndex_]; }

int WindowReader::run(FrameQueue& frames, const std::atomic<bool>& stop) {
  PacketPtr packet(av_packet_alloc());
  if (!packet) return AVERROR(ENOMEM);
  while (!stop && !aborted_ && next_ < windows_.size()) {
    if (landedWrong_) {
      if (const int err = recover(); err != 0) return err;
      continue;
    }
    if (seekWorthwhile()) {
      seek(frames);
      continue;
    }
    const int err = av_read_frame(container_, packet.get());
    if (err == AVERROR_EOF) {
      decoder_.send(nullptr);
      receive(frames);
      // A seek that never reached its key frame missed the window.
      if (awaitingKeyPacket_ || awaitingKeyPicture_) landedWrong_ = true;
      if (landedWrong_) continue;
      break;
    }
    if (err < 0) return err;
    if (packet->stream_index == videoIndex_) take(*packet, frames);
    av_packet_unref(packet.get());
  }
  return 0;
}

const AVIndexEntry* WindowReader::indexedKeyFrame(double start) const {
  if (!indexTrusted_) return nullptr;
  AVStream& stream = video();
  const int entries = avformat_index_get_entries_count(&stream);
  const AVIndexEntry* last = entries > 0 ? avformat_index_get_entry(&stream, entries - 1) : nullptr;
  if (last == nullptr || last->timestamp < decoder_.stampAt(start)) return nullptr;
  // The index holds decoding stamps; a key frame's picture comes later by
  // the codec's delay.
  return avformat_index_get_entry_from_timestamp(&stream, decoder_.stampAt(start - keyDelay_), AVSEEK_FLAG_BACKWARD);
}

bool WindowReader::seekWorthwhile() const {
  if (!canSeek_ || aborted_ || next_ >= windows_.size() || soughtFor_ == next_) return false;
  const double start = windows_[next_].start;
  const std::int64_t read = readStamp_ != AV_NOPTS_VALUE ? readStamp_ : decoder_.stampAt(0.0);
  if (start - decoder_.stampTime(read) <= kReadOnSeconds) return false;
  // Where the stream's index reaches the window it tells where the key frame
  // lies: the seek is worth it only when that is ahead of what was read.
  if (const AVIndexEntry* key = indexedKeyFrame(start)) return key->timestamp > read;
  // Otherwise the key frame is likely within the longest gap seen between two.
  const double target = start - keyGap_;
  return target > 0.0 && target - decoder_.stampTime(read) > kReadOnSeconds;
}

void WindowReader::seek(FrameQueue& frames) {
  // Pictures still in the decoder may lie in a window: they come out first.
  decoder_.send(nullptr);
  receive(frames);
  if (landedWrong_ || aborted_ || next_ >= windows_.size()) return;
  soughtFor_ = next_;
  attempts_ = 0;
  seekAgain();
}

void WindowReader::seekAgain() {
  decoder_.restart(false);
  ++attempts_;
  ++seeks_;
  const double start = windows_[next_].start;
  const double gap = keyGap_ + keyDelay_;
  indexed_ = attempts_ == 1 && indexedKeyFrame(start) != nullptr;
  const double lead = attempts_ == 1 ? (indexed_ ? 0.0 : gap)
                                     : (gap + kSeekLeadSeconds) * std::pow(kSeekLeadGrowth, attempts_ - 2);
  const std::int64_t target = decoder_.stampAt(std::fmax(0.0, start - lead));
  readStamp_ = AV_NOPTS_VALUE;
  keyStamp_ = AV_NOPTS_VALUE;
  awaitingKeyPacket_ = true;
  awaitingKeyPicture_ = true;
  if (av_seek_frame(container_, videoIndex_, target, AVSEEK_FLAG_BACKWARD) < 0) landedWrong_ = true;
}

int WindowReader::recover() {
  landedWrong_ = false;
  awaitingKeyPacket_ = false;
  awaitingKeyPicture_ = false;
  if (indexed_) indexTrusted_ = false;
  // A seek that could not be trusted tries again from further back.
  if (canSeek_ && attempts_ < kSeekAttempts) {
    seekAgain();
    return 0;
  }
  // Then the input is read through from its start, as it is without
  // windows; the windows already complete stay so.
  fellBack_ = true;
  canSeek_ = false;
  readStamp_ = AV_NOPTS_VALUE;
  keyStamp_ = AV_NOPTS_VALUE;
  decoder_.restart(true);
  return reopen_(container_);
}

void WindowReader::take(const AVPacket& packet, FrameQueue& frames) {
  const std::int64_t stamp = decodingStamp(packet);
  if (awaitingKeyPacket_) {
    if (!(packet.flags & AV_PKT_FLAG_KEY)) {
      // Still no key frame, and already inside the window: the seek overshot.
      if (stamp != AV_NOPTS_VALUE && decoder_.stampTime(stamp) >= windows_[next_].start) landedWrong_ = true;
      return;
    }
    awaitingKeyPacket_ = false;
  }
  if (stamp != AV_NOPTS_VALUE && (readStamp_ == AV_NOPTS_VALUE || stamp > readStamp_)) readStamp_ = stamp;
  if ((packet.flags & AV_PKT_FLAG_KEY) && stamp != AV_NOPTS_VALUE) {
    if (packet.pts != AV_NOPTS_VALUE && packet.dts != AV_NOPTS_VALUE) {
      keyDelay_ = std::fmax(keyDelay_, decoder_.stampTime(packet.pts) - decoder_.stampTime(packet.dts));
    }
    if (keyStamp_ != AV_NOPTS_VALUE && stamp > keyStamp_) {
      keyGap_ = std::fmax(keyGap_, decoder_.stampTime(stamp) - decoder_.stampTime(keyStamp_));
    }
    keyStamp_ = stamp;
  }
  // A picture before the window that no other refers to is not decoded at
  // all. Its time is not seen then, which a later picture without a stamp
  // would count from: skipping ends for good where stamps are missing.
  if (packet.pts == AV_NOPTS_VALUE) maySkip_ = false;
  decoder_.skipUnreferenced(maySkip_ && decoder_.stampTime(packet.pts) < windows_[next_].start);
  decoder_.send(&packet);
  receive(frames);
}

void WindowReader::receive(FrameQueue& frames) {
  double time = 0.0;
  bool key = false;
  while (!landedWrong_ && !aborted_ && decoder_.receive(time, key)) {
    ++picturesDecoded_;
    if (!decoder_.pictureStamped()) maySkip_ = false;
    place(time, key, frames);
  }
}

void WindowReader::place(double time, bool key, FrameQueue& frames) {
  if (next_ >= windows_.size()) {
    decoder_.drop();
    return;
  }
  const double start = windows_[next_].start;
  if (awaitingKeyPicture_) {
    // Pictures before the key frame a seek found may be decoded from
    // references that were never read: they may be passed over before the
    // window, but inside it the seek cannot be trusted; nor when the key
    // frame itself comes after the window's start.
    if (key && time <= start) {
      awaitingKeyPicture_ = false;
    } else {
      if (!key && time < start) {
        decoder_.drop();
        return;
      }
      landedWrong_ = true;
      decoder_.drop();
      return;
    }
  }
  if (std::isnan(time)) {
    landedWrong_ = true;
    decoder_.drop();
    return;
  }
  while (next_ < windows_.size() && time >= windows_[next_].end) ++next_;
  if (next_ < windows_.size() && time >= windows_[next_].start) {
    if (!decoder_.publish(frames, time)) aborted_ = true;
  } else {
    decoder_.pass(time);
  }
}

}  // namespace zepra

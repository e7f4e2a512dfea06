#include "input/sample_callbacks.h"

#include "media/media_sink.h"

namespace zepra {

bool VideoSampleCallback::bufferCB(double time, const std::uint8_t* buffer, std::int32_t length) {
  return encoder_.addVideoSample(time, buffer, length > 0 ? static_cast<std::uint32_t>(length) : 0);
}

void AudioSampleCallback::bufferCB(double, const std::uint8_t* buffer, std::int32_t length) {
  if (length <= 0) return;
  encoder_.addAudioBuffer(buffer, static_cast<std::uint32_t>(length));
}

}  // namespace zepra

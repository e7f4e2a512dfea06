#include "player/host/picture_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include <png.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace zepra {

namespace {

std::filesystem::path partPath(const std::filesystem::path& path) {
  return std::filesystem::path(path.string() + ".part");
}

// Moves a finished part file into place, or removes it after a failure.
bool finish(const std::filesystem::path& part, const std::filesystem::path& path, bool written,
            std::string& error) {
  std::error_code ec;
  if (written) {
    std::filesystem::rename(part, path, ec);
    if (!ec) return true;
    error = "cannot rename " + part.string() + " to " + path.string() + ": " + ec.message();
  }
  std::filesystem::remove(part, ec);
  return false;
}

}  // namespace

RgbPicture consolePicture(std::span<const std::uint16_t> pixels, int width, int height) {
  RgbPicture picture{width, height, {}};
  picture.rgb.reserve(pixels.size() * 3);
  for (std::uint16_t p : pixels) {
    for (int shift : {0, 5, 10}) {
      const int v = (p >> shift) & 0x1F;
      picture.rgb.push_back(static_cast<std::uint8_t>((v << 3) | (v >> 2)));
    }
  }
  return picture;
}

RgbPicture contactSheet(std::span<const RgbPicture> pictures, int columns, int gap) {
  RgbPicture sheet;
  if (pictures.empty()) return sheet;
  const int w = pictures[0].width, h = pictures[0].height;
  const int count = static_cast<int>(pictures.size());
  const int cols = std::min(columns, count), rows = (count + cols - 1) / cols;
  sheet.width = cols * w + (cols + 1) * gap;
  sheet.height = rows * h + (rows + 1) * gap;
  sheet.rgb.assign(static_cast<std::size_t>(sheet.width) * sheet.height * 3, 0x30);
  for (int i = 0; i < count; ++i) {
    const int left = gap + (i % cols) * (w + gap), top = gap + (i / cols) * (h + gap);
    for (int y = 0; y < h; ++y) {
      const auto* from = &pictures[i].rgb[static_cast<std::size_t>(y) * w * 3];
      std::copy(from, from + w * 3, &sheet.rgb[(static_cast<std::size_t>(top + y) * sheet.width + left) * 3]);
    }
  }
  return sheet;
}

bool writePng(const std::filesystem::path& path, const RgbPicture& picture, std::string& error) {
  const auto part = partPath(path);
  FILE* file = std::fopen(part.c_str(), "wb");
  if (file == nullptr) {
    error = "cannot create " + path.string();
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  volatile bool written = false;  // survives libpng's error jump
  if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y)
      png_write_row(png, &picture.rgb[static_cast<std::size_t>(y) * picture.width * 3]);
    png_write_end(png, nullptr);
    written = true;
  }
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) written = false;
  if (!written) error = "cannot write " + path.string();
  return finish(part, path, written, error);
}

bool writeWav(const std::filesystem::path& path, std::span<const std::int16_t> samples, int sampleRate,
              std::string& error) {
  const auto part = partPath(path);
  AVFormatContext* format = nullptr;
  if (avformat_alloc_output_context2(&format, nullptr, "wav", part.c_str()) < 0) {
    error = "the WAV writer is not available";
    return false;
  }
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> owner(format, [](AVFormatContext* f) {
    if (f->pb != nullptr) avio_closep(&f->pb);
    avformat_free_context(f);
  });
  AVStream* stream = avformat_new_stream(format, nullptr);
  bool written = false;
  if (stream != nullptr) {
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    stream->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    stream->codecpar->sample_rate = sampleRate;
    stream->codecpar->format = AV_SAMPLE_FMT_S16;
    stream->codecpar->bits_per_coded_sample = 16;
    stream->codecpar->block_align = 2;
    av_channel_layout_default(&stream->codecpar->ch_layout, 1);
    stream->time_base = AVRational{1, sampleRate};
    if (avio_open(&format->pb, part.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(format, nullptr) >= 0) {
      AVPacket* packet = av_packet_alloc();
      written = packet != nullptr && av_new_packet(packet, static_cast<int>(samples.size_bytes())) >= 0;
      if (written) {
        std::memcpy(packet->data, samples.data(), samples.size_bytes());
        packet->stream_index = stream->index;
        packet->pts = packet->dts = 0;
        packet->duration = static_cast<std::int64_t>(samples.size());
        written = av_write_frame(format, packet) >= 0 && av_write_trailer(format) >= 0;
      }
      av_packet_free(&packet);
    }
  }
  owner.reset();
  if (!written) error = "cannot write " + path.string();
  return finish(part, path, written, error);
}

}  // namespace zepra

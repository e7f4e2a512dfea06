#include "job/cartridge_layout.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "format/directory_check.h"
#include "job/rom_builder.h"

namespace zepra {

namespace {

void putLe16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void putLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t alignedUp(std::uint64_t value) {
  constexpr std::uint64_t kAlign = ZEPRA_DIRECTORY_STREAM_ALIGNMENT;
  return (value + kAlign - 1) / kAlign * kAlign;
}

// Refreshes per second as the console makes them: 16777216 cycles a second,
// 280896 cycles a refresh.
constexpr double kConsoleRefreshRate = 16777216.0 / 280896.0;

}  // namespace

std::string videoCountProblem(std::size_t count) {
  if (count == 0) return "a cartridge needs at least one video";
  if (count > kMaxDirectoryEntries)
    return std::to_string(count) + " videos: a cartridge's menu holds at most " + std::to_string(kMaxDirectoryEntries);
  return {};
}

std::uint64_t directoryBytes(std::size_t count) {
  return count > 1 ? kDirectoryHeaderBytes + std::uint64_t{count} * kDirectoryEntryBytes : 0;
}

std::uint64_t nextStreamOffset(std::uint64_t playerBytes, std::size_t count,
                               std::span<const std::uint64_t> streamsBefore) {
  if (count <= 1) return playerBytes + (streamsBefore.empty() ? 0 : streamsBefore.front());
  std::uint64_t end = playerBytes + directoryBytes(count);
  for (const std::uint64_t bytes : streamsBefore) end = alignedUp(end) + bytes;
  return alignedUp(end);
}

std::uint64_t cartridgeImageBytes(std::uint64_t playerBytes, std::span<const std::uint64_t> streamBytes) {
  if (streamBytes.empty()) return playerBytes;
  return nextStreamOffset(playerBytes, streamBytes.size(), streamBytes.first(streamBytes.size() - 1)) +
         streamBytes.back();
}

std::string menuName(std::string_view text) {
  std::string name;
  for (std::size_t i = 0; i < text.size() && name.size() < kDirectoryNameChars;) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c <= 0x7E) {
      name.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    name.push_back(ZEPRA_DIRECTORY_REPLACEMENT_CHAR);
    ++i;
    // The continuation bytes of a UTF-8 sequence belong to the character just replaced.
    if (c >= 0xC0)
      while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return name;
}

std::string defaultVideoName(const std::string& inputPath) {
  return menuName(std::filesystem::path(inputPath).stem().string());
}

std::uint32_t streamSeconds(std::span<const std::uint8_t> stream) {
  if (stream.size() < ZEPRA_STREAM_HEADER_BYTES) return 0;
  const std::uint32_t frames = zepraLe32(stream.data()), step = zepraLe32(stream.data() + 4);
  if (step == 0) return 0;
  const double refreshes = static_cast<double>(frames) * 65536.0 / step;
  return static_cast<std::uint32_t>(std::lround(refreshes / kConsoleRefreshRate));
}

std::optional<std::vector<std::uint8_t>> cartridgeContents(std::size_t playerBytes,
                                                           std::span<const CartridgeVideo> videos,
                                                           std::string& error) {
  if (error = videoCountProblem(videos.size()); !error.empty()) return std::nullopt;
  for (std::size_t i = 0; i < videos.size(); ++i) {
    const CartridgeVideo& video = videos[i];
    const std::string which = "video " + std::to_string(i + 1) + " (\"" + video.name + "\")";
    if (zepraStreamLength(video.stream.data(), static_cast<std::uint32_t>(std::min<std::size_t>(
                                                   video.stream.size(), ZEPRA_MAX_IMAGE_BYTES))) !=
        video.stream.size()) {
      error = which + ": its stream is not a whole movie";
      return std::nullopt;
    }
    if (videos.size() > 1 && (video.name.empty() || menuName(video.name) != video.name)) {
      error = which + ": a menu name must be 1 to " + std::to_string(kDirectoryNameChars) +
              " printable ASCII characters";
      return std::nullopt;
    }
  }
  if (videos.size() == 1) {
    if (playerBytes + videos[0].stream.size() > kMaxRomSize) {
      error = kRomTooBigText;
      return std::nullopt;
    }
    return std::vector<std::uint8_t>(videos[0].stream.begin(), videos[0].stream.end());
  }

  // Offsets count from the image's first byte; the contents start behind the player.
  std::vector<std::uint64_t> lengths;
  std::vector<std::size_t> offsets;
  for (const CartridgeVideo& video : videos) {
    offsets.push_back(nextStreamOffset(playerBytes, videos.size(), lengths));
    lengths.push_back(video.stream.size());
  }
  const std::uint64_t end = cartridgeImageBytes(playerBytes, lengths);
  if (end > kMaxRomSize) {
    error = kRomTooBigText;
    return std::nullopt;
  }
  const std::size_t directory = directoryBytes(videos.size());

  std::vector<std::uint8_t> contents(end - playerBytes, 0xFF);
  std::fill_n(contents.begin(), directory, 0);
  putLe32(contents, 0, kDirectoryMagic);
  putLe16(contents, ZEPRA_DIRECTORY_VERSION_AT, ZEPRA_DIRECTORY_VERSION);
  putLe16(contents, ZEPRA_DIRECTORY_COUNT_AT, static_cast<std::uint32_t>(videos.size()));
  putLe32(contents, ZEPRA_DIRECTORY_IMAGE_BYTES_AT, static_cast<std::uint32_t>(end));
  const std::string_view saveTypeId = ZEPRA_DIRECTORY_SAVE_TYPE_ID;
  std::copy(saveTypeId.begin(), saveTypeId.end(), contents.begin() + ZEPRA_DIRECTORY_SAVE_TYPE_ID_AT);
  for (std::size_t i = 0; i < videos.size(); ++i) {
    const std::size_t entry = kDirectoryHeaderBytes + i * kDirectoryEntryBytes;
    std::copy(videos[i].name.begin(), videos[i].name.end(), contents.begin() + entry);
    putLe32(contents, entry + ZEPRA_ENTRY_OFFSET_AT, static_cast<std::uint32_t>(offsets[i]));
    putLe32(contents, entry + ZEPRA_ENTRY_LENGTH_AT, static_cast<std::uint32_t>(videos[i].stream.size()));
    putLe32(contents, entry + ZEPRA_ENTRY_SECONDS_AT, streamSeconds(videos[i].stream));
    std::copy(videos[i].stream.begin(), videos[i].stream.end(), contents.begin() + (offsets[i] - playerBytes));
  }
  return contents;
}

}  // namespace zepra

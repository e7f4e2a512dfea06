#include "player/host/console_emulator.h"

// mGBA's structures depend on the build flags its Debian package was built with.
#include <mgba/flags.h>
#include <mgba/core/blip_buf.h>
#include <mgba/core/core.h>
#include <mgba/core/log.h>
#include <mgba/core/timing.h>
#include <mgba/gba/core.h>
#include <mgba/internal/gba/gba.h>
#include <mgba/internal/arm/arm.h>
#include <mgba-util/vfs.h>

#include <map>

namespace zepra {

namespace {

void discardLog(struct mLogger*, int, enum mLogLevel, const char*, va_list) {}
struct mLogger silentLogger = {discardLog, nullptr};

constexpr std::size_t kSoundBufferSamples = 0x4000;
constexpr std::uint32_t kCartridgeSpace = 0x08000000;

}  // namespace

// Stands in for the processor's store functions: notes each write into
// cartridge space, then hands it on to the emulator's own function.
struct ConsoleEmulator::WriteRecorder {
  ARMMemory original;
  std::vector<CartridgeWrite>* writes;

  static std::map<ARMCore*, WriteRecorder*>& byProcessor() {
    static std::map<ARMCore*, WriteRecorder*> recorders;
    return recorders;
  }
  static void note(ARMCore* cpu, std::uint32_t address, std::uint32_t value, int bytes) {
    if (address >= kCartridgeSpace) byProcessor().at(cpu)->writes->push_back({address, value, bytes});
  }
  static void store32(ARMCore* cpu, std::uint32_t address, std::int32_t value, int* cycles) {
    note(cpu, address, static_cast<std::uint32_t>(value), 4);
    byProcessor().at(cpu)->original.store32(cpu, address, value, cycles);
  }
  static void store16(ARMCore* cpu, std::uint32_t address, std::int16_t value, int* cycles) {
    note(cpu, address, static_cast<std::uint16_t>(value), 2);
    byProcessor().at(cpu)->original.store16(cpu, address, value, cycles);
  }
  static void store8(ARMCore* cpu, std::uint32_t address, std::int8_t value, int* cycles) {
    note(cpu, address, static_cast<std::uint8_t>(value), 1);
    byProcessor().at(cpu)->original.store8(cpu, address, value, cycles);
  }
};

std::unique_ptr<ConsoleEmulator> ConsoleEmulator::load(std::span<const std::uint8_t> image,
                                                       std::string& error,
                                                       std::span<const std::uint8_t> save) {
  mLogSetDefaultLogger(&silentLogger);
  // The emulator takes only images with an ARM branch at offset 0.
  if (image.size() < 0xC0 || image[3] != 0xEA) {
    error = "not a cartridge image (no branch instruction at its start)";
    return nullptr;
  }
  std::unique_ptr<ConsoleEmulator> emulator(new ConsoleEmulator);
  struct mCore* core = GBACoreCreate();
  if (core == nullptr || !core->init(core)) {
    error = "the emulator could not be created";
    return nullptr;
  }
  emulator->core_ = core;
  mCoreInitConfig(core, nullptr);
  emulator->video_.assign(kScreenWidth * kScreenHeight, 0);
  core->setVideoBuffer(core, reinterpret_cast<color_t*>(emulator->video_.data()), kScreenWidth);
  core->setAudioBufferSize(core, kSoundBufferSamples);
  struct VFile* file = VFileMemChunk(image.data(), image.size());
  if (file == nullptr || !core->loadROM(core, file)) {
    error = "the emulator refused the cartridge image";
    return nullptr;
  }
  if (!save.empty()) {
    struct VFile* saveFile = VFileMemChunk(save.data(), save.size());
    if (saveFile == nullptr || !core->loadSave(core, saveFile)) {
      error = "the emulator refused the save memory";
      return nullptr;
    }
  }
  for (int channel = 0; channel < 2; ++channel)
    blip_set_rates(core->getAudioChannel(core, channel), core->frequency(core), kEmulatorSoundRate);
  core->reset(core);
  return emulator;
}

ConsoleEmulator::~ConsoleEmulator() {
  if (recorder_) WriteRecorder::byProcessor().erase(static_cast<ARMCore*>(core_->cpu));
  if (core_ != nullptr) {
    mCoreConfigDeinit(&core_->config);
    core_->deinit(core_);
  }
}

void ConsoleEmulator::holdKeys(std::uint16_t keys) { core_->setKeys(core_, keys); }

void ConsoleEmulator::runRefresh(std::uint16_t keys) {
  holdKeys(keys);
  core_->runFrame(core_);
  ++refreshes_;
}

void ConsoleEmulator::runRefreshes(int count, std::uint16_t keys) {
  for (int i = 0; i < count; ++i) runRefresh(keys);
}

ConsoleScreen ConsoleEmulator::screen() const {
  ConsoleScreen pixels;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const std::uint32_t c = video_[i];  // 8 bits per channel, red lowest
    pixels[i] = static_cast<std::uint16_t>(((c >> 3) & 0x1F) | ((c >> 11) & 0x1F) << 5 |
                                           ((c >> 19) & 0x1F) << 10);
  }
  return pixels;
}

std::vector<std::int16_t> ConsoleEmulator::takeSound() {
  blip_t* left = core_->getAudioChannel(core_, 0);
  blip_t* right = core_->getAudioChannel(core_, 1);
  const int available = std::min(blip_samples_avail(left), blip_samples_avail(right));
  std::vector<short> l(available), r(available);
  blip_read_samples(left, l.data(), available, 0);
  blip_read_samples(right, r.data(), available, 0);
  std::vector<std::int16_t> mono(available);
  for (int i = 0; i < available; ++i) mono[i] = static_cast<std::int16_t>((l[i] + r[i]) / 2);
  return mono;
}

std::vector<std::uint8_t> ConsoleEmulator::saveMemory() const {
  void* data = nullptr;
  const std::size_t size = core_->savedataClone(core_, &data);
  std::vector<std::uint8_t> bytes(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
  free(data);
  return bytes;
}

bool ConsoleEmulator::hasSram() const {
  return static_cast<const struct GBA*>(core_->board)->memory.savedata.type == SAVEDATA_SRAM;
}

std::uint32_t ConsoleEmulator::read16(std::uint32_t address) { return core_->busRead16(core_, address); }
std::uint32_t ConsoleEmulator::read32(std::uint32_t address) { return core_->busRead32(core_, address); }
std::uint64_t ConsoleEmulator::cycles() const { return mTimingGlobalTime(core_->timing); }

void ConsoleEmulator::stepInstruction() { core_->step(core_); }

std::uint32_t ConsoleEmulator::readRegister(const char* name) const {
  std::int32_t value = 0;
  core_->readRegister(core_, name, &value);
  return static_cast<std::uint32_t>(value);
}

void ConsoleEmulator::recordCartridgeWrites() {
  if (recorder_) return;
  auto* cpu = static_cast<ARMCore*>(core_->cpu);
  recorder_ = std::make_unique<WriteRecorder>(WriteRecorder{cpu->memory, &cartridgeWrites_});
  WriteRecorder::byProcessor()[cpu] = recorder_.get();
  cpu->memory.store32 = WriteRecorder::store32;
  cpu->memory.store16 = WriteRecorder::store16;
  cpu->memory.store8 = WriteRecorder::store8;
}

std::uint32_t ConsoleEmulator::nextInstruction() const {
  // The register holds the fetch address, two instructions ahead.
  const bool thumb = (readRegister("cpsr") & 0x20) != 0;
  return readRegister("pc") - (thumb ? 4 : 8);
}

}  // namespace zepra

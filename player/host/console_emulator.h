#pragma once
// A headless console for tests and previews: runs a cartridge image in
// libmgba refresh by refresh, holds keys, and reads back the screen, the
// sound, memory, the processor's cycle count and its writes to the cartridge.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "format/screen.h"

struct mCore;

namespace zepra {

inline constexpr int kEmulatorSoundRate = 32768;  // Hz, the rate sound is read back at

// Key bits as the console numbers them.
enum ConsoleKey : std::uint16_t {
  kKeyA = 0x001,
  kKeyB = 0x002,
  kKeySelect = 0x004,
  kKeyStart = 0x008,
  kKeyRight = 0x010,
  kKeyLeft = 0x020,
  kKeyUp = 0x040,
  kKeyDown = 0x080,
  kKeyR = 0x100,
  kKeyL = 0x200,
};

using ConsoleScreen = std::array<std::uint16_t, kScreenWidth * kScreenHeight>;

// One write of the processor into cartridge space.
struct CartridgeWrite {
  std::uint32_t address;
  std::uint32_t value;
  int bytes;  // 1, 2 or 4
  bool operator==(const CartridgeWrite&) const = default;
};

class ConsoleEmulator {
 public:
  // Loads a cartridge image; null (with `error` set) when the emulator refuses
  // it. `save` is the battery-backed save memory as a power cycle leaves it
  // (empty: none kept).
  static std::unique_ptr<ConsoleEmulator> load(std::span<const std::uint8_t> image, std::string& error,
                                               std::span<const std::uint8_t> save = {});
  ~ConsoleEmulator();
  ConsoleEmulator(const ConsoleEmulator&) = delete;
  ConsoleEmulator& operator=(const ConsoleEmulator&) = delete;

  // Runs until the next display refresh with `keys` held (0: none).
  void runRefresh(std::uint16_t keys = 0);
  void runRefreshes(int count, std::uint16_t keys = 0);
  // Holds `keys` from now on (for stepping instruction by instruction).
  void holdKeys(std::uint16_t keys);

  // The picture shown during the last refresh, as 15-bit console colours
  // (red bits 0-4), row 0 at the top.
  ConsoleScreen screen() const;
  // Mono sound produced since the last call, at kEmulatorSoundRate.
  std::vector<std::int16_t> takeSound();

  // The save memory's contents (empty while the cartridge has none), and
  // whether the emulator gave the cartridge battery-backed SRAM.
  std::vector<std::uint8_t> saveMemory() const;
  bool hasSram() const;

  std::uint32_t read16(std::uint32_t address);
  std::uint32_t read32(std::uint32_t address);
  // Processor cycles since power-on.
  std::uint64_t cycles() const;
  // Executes one instruction (for measuring code by its addresses).
  void stepInstruction();
  // The address of the next ARM or Thumb instruction to execute.
  std::uint32_t nextInstruction() const;
  std::uint32_t readRegister(const char* name) const;
  int refreshes() const { return refreshes_; }

  // From now on, keeps every single write of the processor to cartridge
  // space (0x08000000 and up), in order.
  void recordCartridgeWrites();
  const std::vector<CartridgeWrite>& cartridgeWrites() const { return cartridgeWrites_; }

 private:
  ConsoleEmulator() = default;
  ::mCore* core_ = nullptr;
  std::vector<std::uint32_t> video_;
  int refreshes_ = 0;
  std::vector<CartridgeWrite> cartridgeWrites_;
  struct WriteRecorder;
  std::unique_ptr<WriteRecorder> recorder_;
};

}  // namespace zepra

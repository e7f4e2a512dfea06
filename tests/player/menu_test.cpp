// A cartridge of several videos in the emulator: the menu, choosing and
// playing a video, coming back, resuming after a power cycle, and what the
// player makes of a damaged directory or save.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "format/directory.h"
#include "format/resume_save.h"
#include "player/host/console_emulator.h"
#include "player/player_image.h"
#include "tests/player/player_probe.h"
#include "tests/player/sound_reference.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

constexpr std::uint32_t kTenFps = 10972;  // 10 frames per second: 10 / 59.7275 in 16.16

// The colour of a one-entry V1 codebook (Y, U, V) as the console shows it.
std::uint16_t entryColour(int y, int u, int v) {
  auto c = [](int i) { return std::clamp(i >> 3, 0, 31); };
  return static_cast<std::uint16_t>(c(y + 2 * v) | c(y - v - ((u + 1) >> 1)) << 5 | c(y + 2 * u) << 10);
}

// Frames that each fill the picture with a colour no other frame of any
// video of the cartridge has, and a sound trailer of its own tone.
struct ColourSource {
  std::set<std::uint16_t> used = {0};
  int next = 0;
  Bytes entry() {
    for (;; ++next) {
      const int y = 8 * (next % 32) + 4, u = 16 * (next / 32 % 8) - 64, v = 16 * (next / 256 % 8) - 64;
      if (next >= 2048) return {};
      if (used.insert(entryColour(y, u, v)).second) {
        ++next;
        return colourEntry(static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(y),
                           static_cast<std::uint8_t>(y), static_cast<std::int8_t>(u), static_cast<std::int8_t>(v));
      }
    }
  }
};

TestStream numberedVideo(ColourSource& colours, int frames, std::uint32_t step, double toneHz) {
  TestStream stream;
  stream.playbackStep = step;
  for (int k = 0; k < frames; ++k) {
    Bytes chunks = chunk(0x22, colours.entry());
    const Bytes blocks = chunk(0x32, Bytes(60 * 40, 0));
    chunks.insert(chunks.end(), blocks.begin(), blocks.end());
    stream.frames.push_back({static_cast<std::uint16_t>(k == 0 ? 0x1000 : 0x1100), chunks});
  }
  const int refreshes = static_cast<int>(std::uint64_t{static_cast<std::uint32_t>(frames)} * 0x10000 / step);
  stream.audioBlocks = encodeTrailer(testSound(refreshes * kBlockSamples, 40, toneHz));
  return stream;
}

struct Shown {
  int video = -1;  // -1: black, -2: something else (the menu)
  int frame = -1;
  bool operator==(const Shown&) const = default;
};

class Cartridge {
 public:
  explicit Cartridge(const std::vector<int>& frames, std::uint32_t step = kTenFps) {
    ColourSource colours;
    const double tones[] = {330, 550, 880, 440};
    std::vector<std::pair<std::string, Bytes>> list;
    for (std::size_t v = 0; v < frames.size(); ++v) {
      streams.push_back(numberedVideo(colours, frames[v], step, tones[v % 4]));
      list.emplace_back("Video " + std::to_string(v + 1), streams.back().bytes());
      const auto pictures = referencePictures(streams.back());
      for (std::size_t k = 0; k < pictures.size(); ++k)
        EXPECT_TRUE(byColour_.emplace(pictures[k][0], Shown{static_cast<int>(v), static_cast<int>(k)}).second);
    }
    image = menuCartridge(list);
  }

  std::unique_ptr<ConsoleEmulator> start(const Bytes& save = {}) const {
    std::string error;
    auto console = ConsoleEmulator::load(image, error, save);
    EXPECT_NE(console, nullptr) << error;
    return console;
  }

  Shown on(const ConsoleScreen& screen) const {
    if (!std::all_of(screen.begin(), screen.end(), [&](auto p) { return p == screen[0]; })) return {-2, -1};
    if (screen[0] == 0) return {-1, -1};
    const auto found = byColour_.find(screen[0]);
    return found == byColour_.end() ? Shown{-2, -1} : found->second;
  }

  std::vector<TestStream> streams;
  Bytes image;

 private:
  std::map<std::uint16_t, Shown> byColour_;
};

std::uint32_t menuWord(ConsoleEmulator& console, int word) {
  return console.read32(playerSymbols().at("menuState") + 4 * word);
}
std::uint32_t listed(ConsoleEmulator& console) { return menuWord(console, 0); }
std::uint32_t selection(ConsoleEmulator& console) { return menuWord(console, 1); }

// Presses and releases a key. The playing video reads the keys once a
// frame, every 6 refreshes at 10 frames per second: hold them longer.
void tap(ConsoleEmulator& console, std::uint16_t key) {
  console.runRefreshes(8, key);
  console.runRefreshes(8);
}

// Runs until a frame of a video shows; the frame, or {-2} after `limit`.
Shown firstFrame(ConsoleEmulator& console, const Cartridge& cart, int limit = 600) {
  for (int r = 0; r < limit; ++r) {
    console.runRefresh();
    const Shown shown = cart.on(console.screen());
    if (shown.video >= 0) return shown;
  }
  return {-2, -1};
}

bool showsMenu(ConsoleEmulator& console, const Cartridge& cart) {
  const auto screen = console.screen();
  const bool drawn = cart.on(screen) == Shown{-2, -1};
  console.runRefreshes(10);
  return drawn && console.screen() == screen;
}

TEST(Menu, ShowsTheListAndWaitsForAKey) {
  const Cartridge cart({20, 20, 20});
  auto console = cart.start();
  console->runRefreshes(30);
  const auto menu = console->screen();
  EXPECT_EQ(cart.on(menu), (Shown{-2, -1})) << "no menu: the screen is black or shows a video";
  EXPECT_GT(std::count_if(menu.begin(), menu.end(), [&](auto p) { return p != menu[0]; }), 500) << "no text";
  for (int i = 0; i < 8; ++i) {
    console->runRefreshes(30);
    ASSERT_EQ(console->screen(), menu) << "the menu changed without a key, refresh " << console->refreshes();
  }
  EXPECT_EQ(listed(*console), 3u);
  EXPECT_EQ(selection(*console), 0u);
  EXPECT_EQ(console->read16(0x04000102) & 0x80, 0u) << "sound runs in the menu";
}

TEST(Menu, DownThenAPlaysTheSecondVideoWithItsPicturesAndSound) {
  const Cartridge cart({30, 40, 30});
  auto console = cart.start();
  console->runRefreshes(10);
  tap(*console, kKeyDown);
  EXPECT_EQ(selection(*console), 1u);
  console->runRefreshes(2, kKeyA);  // the menu acts when A is released
  console->takeSound();

  // Every frame of the second video in order, each exactly as the reference
  // decoder draws it.
  const auto pictures = referencePictures(cart.streams[1]);
  int expected = 0;
  for (int r = 0; r < 260 && expected < 40; ++r) {
    console->runRefresh();
    const Shown shown = cart.on(console->screen());
    if (shown.video < 0 && expected == 0) continue;
    ASSERT_EQ(shown.video, 1) << "refresh " << r;
    if (shown.frame == expected) {
      const auto want = centredScreen(pictures[expected], 240, 160);
      EXPECT_TRUE(std::equal(want.begin(), want.end(), console->screen().begin())) << "frame " << expected;
      ++expected;
    } else {
      ASSERT_EQ(shown.frame, expected - 1) << "a frame was skipped";
    }
  }
  EXPECT_EQ(expected, 40);

  // Its own sound, not another video's.
  const auto played = withoutMean(console->takeSound());
  std::vector<double> correlation;
  for (int v = 0; v < 3; ++v) {
    const auto want = atEmulatorRate(decodeTrailer(cart.streams[v].audioBlocks), played.size() / 2);
    int lag = 0;
    correlation.push_back(bestCorrelation(played, want, 6 * 548, &lag));
  }
  EXPECT_GT(correlation[1], 0.9);
  EXPECT_LT(correlation[0], 0.5);
  EXPECT_LT(correlation[2], 0.5);
}

TEST(Menu, ReleasingStartReturnsAndTheEndSelectsTheNextVideo) {
  const Cartridge cart({30, 12, 12});
  auto console = cart.start();
  console->runRefreshes(10);
  tap(*console, kKeyA);
  ASSERT_EQ(firstFrame(*console, cart).video, 0);
  console->runRefreshes(40);
  tap(*console, kKeyStart);
  console->runRefreshes(4);
  EXPECT_TRUE(showsMenu(*console, cart)) << "Start did not return to the menu";
  EXPECT_EQ(selection(*console), 0u);
  EXPECT_EQ(console->read16(0x04000102) & 0x80, 0u) << "the video's sound goes on in the menu";

  // The second video to its end: the menu comes back with the third selected,
  // and after the last the first.
  tap(*console, kKeyDown);
  tap(*console, kKeyB);
  ASSERT_EQ(firstFrame(*console, cart).video, 1);
  console->runRefreshes(12 * 6 + 10);
  EXPECT_TRUE(showsMenu(*console, cart)) << "the end of the video did not return to the menu";
  EXPECT_EQ(selection(*console), 2u);
  tap(*console, kKeyA);
  ASSERT_EQ(firstFrame(*console, cart).video, 2);
  console->runRefreshes(12 * 6 + 10);
  EXPECT_EQ(selection(*console), 0u);
}

TEST(Menu, HoldingDownRepeats) {
  const Cartridge cart(std::vector<int>(20, 2));
  auto console = cart.start();
  console->runRefreshes(10);
  console->runRefreshes(1, kKeyDown);
  EXPECT_EQ(selection(*console), 1u) << "a press moves at once";
  console->runRefreshes(10, kKeyDown);
  EXPECT_EQ(selection(*console), 1u) << "moved again before the repeat delay";
  console->runRefreshes(60, kKeyDown);
  EXPECT_GE(selection(*console), 8u);
  console->runRefreshes(2);
  tap(*console, kKeyUp);
  tap(*console, kKeyUp);
  const std::uint32_t afterUp = selection(*console);
  console->runRefreshes(60);
  EXPECT_EQ(selection(*console), afterUp) << "released keys went on repeating";
}

// Play the second video for a while, then power off: `openMenu` first or not.
Bytes saveAfterPlaying(const Cartridge& cart, int refreshes, bool openMenu, int* lastFrame) {
  auto console = cart.start();
  console->runRefreshes(10);
  tap(*console, kKeyDown);
  tap(*console, kKeyA);
  EXPECT_EQ(firstFrame(*console, cart).video, 1);
  // Start is held for 8 refreshes at the end, when the menu is to open.
  const int until = refreshes + (openMenu ? 8 : 0);
  for (int r = 0; r < until + 10; ++r) {
    console->runRefresh(openMenu && r >= refreshes && r < until ? kKeyStart : 0);
    const Shown shown = cart.on(console->screen());
    if (shown.video == 1) *lastFrame = shown.frame;
  }
  return console->saveMemory();
}

TEST(Resume, AfterAPowerCycleTheVideoGoesOnWhereItWasLeft) {
  const Cartridge cart({20, 200, 20});
  for (bool openMenu : {true, false}) {
    SCOPED_TRACE(openMenu ? "menu opened before the power cycle" : "power cut while playing");
    int lastFrame = -1;
    const Bytes save = saveAfterPlaying(cart, 8 * 60, openMenu, &lastFrame);
    ASSERT_GT(lastFrame, 40);
    auto console = cart.start(save);
    console->runRefreshes(10);
    tap(*console, kKeyDown);
    console->runRefreshes(2);
    tap(*console, kKeyA);
    const Shown resumed = firstFrame(*console, cart);
    ASSERT_EQ(resumed.video, 1);
    // The position is kept every 3 seconds (31 frames here) and when the menu
    // opens; the frame after the last one shown is next.
    EXPECT_LE(resumed.frame, lastFrame + 1);
    EXPECT_GE(resumed.frame, openMenu ? lastFrame + 1 : lastFrame - 31);
    // And the sound resumes with it: it plays on from its trailer.
    console->runRefreshes(20);
    EXPECT_NE(console->read16(0x04000102) & 0x80, 0u) << "no sound after resuming";
  }
}

std::uint32_t le32(const Bytes& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The frame the later whole slot of a save holds for video `video` of
// `count`, read by the save's layout; -1 without a whole slot.
int savedFrame(const Bytes& save, std::uint32_t count, std::uint32_t video) {
  int frame = -1;
  std::uint32_t latest = 0;
  for (std::uint32_t slot : {0u, 1u}) {
    const std::size_t at = ZEPRA_SAVE_SLOT_AT(slot), hashed = ZEPRA_SAVE_HASHED_BYTES(count);
    const bool whole = le32(save, at) == ZEPRA_SAVE_MAGIC && le32(save, at + 12) == count &&
                       zepraSaveHash(ZEPRA_SAVE_HASH_START, save.data() + at, hashed) == le32(save, at + hashed);
    const std::uint32_t sequence = le32(save, at + ZEPRA_SAVE_SEQUENCE_AT);
    if (whole && (frame < 0 || zepraSaveIsLater(sequence, latest))) {
      frame = static_cast<int>(le32(save, at + ZEPRA_SAVE_HEADER_BYTES + video * ZEPRA_SAVE_POSITION_BYTES));
      latest = sequence;
    }
  }
  return frame;
}

// Chooses the second video of a save's cartridge and resumes it: the first frame shown.
Shown resumeSecond(const Cartridge& cart, const Bytes& save) {
  auto console = cart.start(save);
  console->runRefreshes(10);
  tap(*console, kKeyDown);
  tap(*console, kKeyA);
  return firstFrame(*console, cart);
}

// Power fails while the player writes the save: the write before it still
// counts, and a write that was finished counts over it.
TEST(Resume, AWriteCutOffByAPowerFailureLosesOnlyThatWrite) {
  const Cartridge cart({20, 300, 20});
  auto console = cart.start();
  console->runRefreshes(10);
  tap(*console, kKeyDown);
  tap(*console, kKeyA);
  ASSERT_EQ(firstFrame(*console, cart).video, 1);
  // Two whole writes while the video plays, about three seconds apart ...
  std::vector<int> writtenAt;
  Bytes before = console->saveMemory();
  while (writtenAt.size() < 2 && console->refreshes() < 1200) {
    console->runRefresh();
    if (console->saveMemory() != before) {
      before = console->saveMemory();
      writtenAt.push_back(console->refreshes());
    }
  }
  ASSERT_EQ(writtenAt.size(), 2u);
  const Bytes second = before;
  // ... then the third is cut off halfway through its bytes.
  console->runRefreshes(writtenAt[1] - writtenAt[0] - 4);
  ASSERT_EQ(console->saveMemory(), second) << "the third write came early";
  console->recordCartridgeWrites();
  const std::size_t half = (ZEPRA_SAVE_HASHED_BYTES(3) + 4) / 2;
  for (int steps = 0; console->cartridgeWrites().size() < half && steps < 5'000'000; ++steps) console->stepInstruction();
  ASSERT_EQ(console->cartridgeWrites().size(), half);
  const Bytes torn = console->saveMemory();
  ASSERT_NE(torn, second) << "nothing of the third write reached the save";
  console->runRefreshes(2);
  const Bytes third = console->saveMemory();

  const int secondFrame = savedFrame(second, 3, 1), thirdFrame = savedFrame(third, 3, 1);
  ASSERT_GT(secondFrame, 0);
  ASSERT_GT(thirdFrame, secondFrame);
  EXPECT_EQ(savedFrame(torn, 3, 1), secondFrame);
  EXPECT_EQ(resumeSecond(cart, torn), (Shown{1, secondFrame})) << "the torn write lost the earlier positions";
  // Of two whole slots the later write counts, whichever slot it went to.
  EXPECT_EQ(resumeSecond(cart, second), (Shown{1, secondFrame})) << "the earlier write counts over the later";
  EXPECT_EQ(resumeSecond(cart, third), (Shown{1, thirdFrame})) << "the earlier write counts over the later";
}

TEST(Resume, BStartsTheVideoOver) {
  const Cartridge cart({20, 200, 20});
  int lastFrame = -1;
  const Bytes save = saveAfterPlaying(cart, 6 * 60, true, &lastFrame);
  auto console = cart.start(save);
  console->runRefreshes(10);
  tap(*console, kKeyDown);
  tap(*console, kKeyB);
  EXPECT_EQ(firstFrame(*console, cart), (Shown{1, 0}));
}

TEST(Resume, ADamagedOrForeignSaveIsIgnored) {
  const Cartridge cart({20, 200, 20});
  int lastFrame = -1;
  const Bytes good = saveAfterPlaying(cart, 6 * 60, true, &lastFrame);
  ASSERT_GE(good.size(), 1024u);
  const Cartridge other({20, 200, 21});  // another directory: its save is not ours
  int otherFrame = -1;
  const Bytes foreign = saveAfterPlaying(other, 6 * 60, true, &otherFrame);

  Bytes wrongMagic = good, wrongHash = good, random = good;
  for (std::uint32_t slot : {0u, 1u}) {
    wrongMagic[ZEPRA_SAVE_SLOT_AT(slot)] ^= 0x20;
    wrongHash[ZEPRA_SAVE_SLOT_AT(slot) + ZEPRA_SAVE_HEADER_BYTES + ZEPRA_SAVE_POSITION_BYTES + 4] ^= 1;  // the second video's clock
  }
  for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"blank (all 0xFF)", Bytes(good.size(), 0xFF)}, {"all zero", Bytes(good.size(), 0)},
      {"wrong magic", wrongMagic},                      {"wrong checksum", wrongHash},
      {"another cartridge's", foreign},                 {"random bytes", random}};
  for (const auto& [name, save] : cases) {
    auto console = cart.start(save);
    console->runRefreshes(10);
    EXPECT_TRUE(showsMenu(*console, cart)) << name;
    tap(*console, kKeyDown);
    tap(*console, kKeyA);
    EXPECT_EQ(firstFrame(*console, cart), (Shown{1, 0})) << name;
  }
}

TEST(Save, OnlyACartridgeWithADirectoryHasSaveMemory) {
  const Cartridge cart({10, 10});
  // Other emulators and flash cartridges look for the save type's name in
  // the image; this one gives a cartridge SRAM when it first touches it.
  const std::string_view id = ZEPRA_DIRECTORY_SAVE_TYPE_ID;
  auto namesSaveType = [&](const Bytes& image) {
    for (std::size_t at = 0; at + id.size() <= image.size(); at += 4)
      if (std::equal(id.begin(), id.end(), image.begin() + at)) return true;
    return false;
  };
  EXPECT_TRUE(namesSaveType(cart.image));
  auto withMenu = cart.start();
  withMenu->runRefreshes(30);
  EXPECT_TRUE(withMenu->hasSram());
  EXPECT_FALSE(namesSaveType(cartridge(cart.streams[0].bytes())));
  std::string error;
  auto single = ConsoleEmulator::load(cartridge(cart.streams[0].bytes()), error);
  ASSERT_NE(single, nullptr) << error;
  single->runRefreshes(300);
  EXPECT_FALSE(single->hasSram());
  const Bytes save = single->saveMemory();
  EXPECT_TRUE(std::all_of(save.begin(), save.end(), [](auto b) { return b == 0xFF; })) << "a one-video image wrote a save";
}

// A directory that lies: the menu lists what is valid, or the screen stays
// black; the player never runs off.
TEST(BadDirectory, TheMenuListsWhatIsValidOrStaysBlack) {
  const Cartridge cart({10, 10, 10});
  const std::size_t header = playerImage().size();
  const std::size_t entry0 = header + kDirectoryHeaderBytes, entry1 = entry0 + kDirectoryEntryBytes;
  auto put32 = [](Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  struct Case {
    const char* name;
    std::function<void(Bytes&)> spoil;
    std::uint32_t listed;  // 0: black screen
  };
  const std::vector<Case> cases = {
      {"offset past the image", [&](Bytes& b) { put32(b, entry1 + 32, 0x01F00000); }, 2},
      {"length past the image", [&](Bytes& b) { put32(b, entry1 + 36, 0x01F00000); }, 2},
      {"name without an end", [&](Bytes& b) { std::fill_n(b.begin() + entry0, 32, 'x'); }, 2},
      {"count 0", [&](Bytes& b) { b[header + 6] = 0; }, 0},
      {"count of thousands", [&](Bytes& b) { b[header + 6] = 0x88; b[header + 7] = 0x13; }, 0},
      {"no entry valid",
       [&](Bytes& b) {
         for (int i = 0; i < 3; ++i) put32(b, entry0 + i * kDirectoryEntryBytes + 32, 0x01FFFFF0);
       },
       0},
  };
  for (const Case& c : cases) {
    Bytes image = cart.image;
    c.spoil(image);
    std::string error;
    auto console = ConsoleEmulator::load(image, error);
    ASSERT_NE(console, nullptr) << error;
    console->runRefreshes(30);
    const auto screen = console->screen();
    if (c.listed == 0) {
      EXPECT_TRUE(std::all_of(screen.begin(), screen.end(), [](auto p) { return p == 0; })) << c.name;
    } else {
      EXPECT_EQ(listed(*console), c.listed) << c.name;
      EXPECT_TRUE(showsMenu(*console, cart)) << c.name;
      tap(*console, kKeyDown);
      tap(*console, kKeyA);
      EXPECT_GE(firstFrame(*console, cart).video, 0) << c.name << ": a listed video does not play";
    }
    // Still the player's own code: in cartridge ROM below the image's end, or in work RAM.
    const std::uint32_t pc = console->nextInstruction();
    EXPECT_TRUE((pc >= 0x08000000 && pc < 0x08000000 + header) || (pc >= 0x03000000 && pc < 0x03008000) ||
                pc < 0x4000)
        << c.name << ": running at " << std::hex << pc;
  }
}

}  // namespace
}  // namespace zepra::test

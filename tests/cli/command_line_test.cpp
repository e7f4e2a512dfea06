#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "job/cartridge_layout.h"
#include "tests/job/same_job.h"

namespace zepra::cli {
namespace {

ParsedCommandLine parse(std::vector<std::string> args) {
  args.insert(args.begin(), "zepra-cli");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

std::vector<std::string> withFiles(std::vector<std::string> options) {
  options.insert(options.begin(), {"in.avi", "-o", "out.gba"});
  return options;
}

using test::expectSameJob;

struct JobCase {
  const char* name;
  std::vector<std::string> options;
  Preset preset;
  std::function<void(ConversionJob&)> expect;  // changes to the dialog's defaults
};

TEST(CommandLine, OptionsReachTheJobAsTheDialogsWould) {
  const std::vector<JobCase> cases = {
      {"defaults", {}, Preset::kFit, [](ConversionJob&) {}},
      {"preset fit", {"--preset", "fit"}, Preset::kFit, [](ConversionJob&) {}},
      {"preset crop", {"--preset", "crop"}, Preset::kCrop, [](ConversionJob& j) { j.trimMode = TrimMode::kAuto; }},
      {"preset stretch", {"--preset", "stretch"}, Preset::kStretch,
       [](ConversionJob& j) { j.keepAspect = false; }},
      {"preset manual", {"--preset", "manual"}, Preset::kManual, [](ConversionJob&) {}},
      {"title", {"--title", "HOLIDAY 2026"}, Preset::kFit,
       [](ConversionJob& j) { j.romTitle = "HOLIDAY 2026"; }},
      {"short options", {"-t", "A", "-b", "60"}, Preset::kFit,
       [](ConversionJob& j) { j.romTitle = "A"; j.bitrate = 60; }},
      {"lowest bitrate", {"--bitrate", "1"}, Preset::kFit, [](ConversionJob& j) { j.bitrate = 1; }},
      {"highest bitrate", {"--bitrate", "500"}, Preset::kFit, [](ConversionJob& j) { j.bitrate = 500; }},
      {"trim auto", {"--trim", "auto"}, Preset::kManual, [](ConversionJob& j) { j.trimMode = TrimMode::kAuto; }},
      {"trim none", {"--trim", "none"}, Preset::kManual, [](ConversionJob&) {}},
      {"trim margins", {"--trim", "margins", "--trim-margins", "1,2,3,4"}, Preset::kManual,
       [](ConversionJob& j) {
         j.trimMode = TrimMode::kMargins;
         j.trimLeft = 1, j.trimBottom = 2, j.trimRight = 3, j.trimTop = 4;
       }},
      {"margins alone mean trim margins", {"--trim-margins", "8,0,8,1000"}, Preset::kManual,
       [](ConversionJob& j) {
         j.trimMode = TrimMode::kMargins;
         j.trimLeft = 8, j.trimRight = 8, j.trimTop = 1000;
       }},
      {"auto trim with margins", {"--trim", "auto+margins", "--trim-margins", "0,10,0,10"}, Preset::kManual,
       [](ConversionJob& j) {
         j.trimMode = TrimMode::kMarginsThenAuto;
         j.trimBottom = 10, j.trimTop = 10;
       }},
      {"auto trim keeps the aspect", {"--trim", "auto", "--size", "auto"}, Preset::kManual,
       [](ConversionJob& j) { j.trimMode = TrimMode::kAuto; }},
      {"size", {"--size", "120x80"}, Preset::kManual,
       [](ConversionJob& j) { j.keepAspect = false, j.width = 120, j.height = 80; }},
      {"smallest size", {"--size", "4X4"}, Preset::kManual,
       [](ConversionJob& j) { j.keepAspect = false, j.width = 4, j.height = 4; }},
      {"size auto", {"--size", "auto"}, Preset::kManual, [](ConversionJob&) {}},
      {"framerate original", {"--framerate", "original"}, Preset::kManual,
       [](ConversionJob& j) { j.frameRateIndex = FrameRateChoice::kOriginal; }},
      {"framerate 4/5", {"--framerate", "4/5"}, Preset::kManual, [](ConversionJob& j) { j.frameRateIndex = FrameRateChoice::kKeep4of5; }},
      {"framerate 2/3", {"--framerate", "2/3"}, Preset::kManual, [](ConversionJob& j) { j.frameRateIndex = FrameRateChoice::kKeep2of3; }},
      {"framerate 1/2", {"--framerate", "1/2"}, Preset::kManual, [](ConversionJob& j) { j.frameRateIndex = FrameRateChoice::kKeep1of2; }},
      {"framerate 2/5", {"--framerate", "2/5"}, Preset::kManual, [](ConversionJob& j) { j.frameRateIndex = FrameRateChoice::kKeep2of5; }},
      {"framerate 1/3", {"--framerate", "1/3"}, Preset::kManual, [](ConversionJob& j) { j.frameRateIndex = FrameRateChoice::kKeep1of3; }},
      {"framerate 1/4", {"--framerate", "1/4"}, Preset::kManual, [](ConversionJob& j) { j.frameRateIndex = FrameRateChoice::kKeep1of4; }},
      {"framerate 1/5", {"--framerate", "1/5"}, Preset::kManual, [](ConversionJob& j) { j.frameRateIndex = FrameRateChoice::kKeep1of5; }},
      {"framerate auto", {"--framerate", "auto"}, Preset::kManual, [](ConversionJob&) {}},
      {"filter none", {"--filter", "none"}, Preset::kManual, [](ConversionJob& j) { j.preFilter = kNoFilter; }},
      {"filter 15bit", {"--filter", "15bit"}, Preset::kManual, [](ConversionJob& j) { j.preFilter = k15BitFilter; }},
      {"filter dither2", {"--filter", "dither2"}, Preset::kManual, [](ConversionJob& j) { j.preFilter = k2xDithering; }},
      {"filter dither4", {"--filter", "dither4"}, Preset::kManual, [](ConversionJob&) {}},
      {"gamma", {"--gamma", "2.2"}, Preset::kManual, [](ConversionJob& j) { j.gamma = 2.2f; }},
      {"gamma off keeps the value", {"--gamma", "off"}, Preset::kManual,
       [](ConversionJob& j) { j.gammaEnabled = false; }},
      {"highest gamma", {"--gamma", "7.99"}, Preset::kManual, [](ConversionJob& j) { j.gamma = 7.99f; }},
      {"manual preset with settings", {"--preset", "manual", "--filter", "none", "--framerate", "1/2"},
       Preset::kManual, [](ConversionJob& j) { j.preFilter = kNoFilter, j.frameRateIndex = FrameRateChoice::kKeep1of2; }},
  };
  for (const JobCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ParsedCommandLine parsed = parse(withFiles(c.options));
    ASSERT_EQ(parsed.action, ParsedCommandLine::Action::kRun) << parsed.text;
    ConversionJob want;
    want.inputPath = "in.avi";
    want.outputPath = "out.gba";
    c.expect(want);
    expectSameJob(want, parsed.request.job);
    EXPECT_EQ(parsed.request.preset, c.preset);
  }
}

TEST(CommandLine, GammaAtTheLowerBoundIsOneTheEncoderAccepts) {
  const ParsedCommandLine parsed = parse(withFiles({"--gamma", "0.01"}));
  ASSERT_EQ(parsed.action, ParsedCommandLine::Action::kRun) << parsed.text;
  const double gamma = parsed.request.job.gamma;
  EXPECT_GE(gamma, 0.01);
  EXPECT_LT(gamma, 0.0100001);
}

TEST(CommandLine, OverwriteAndQuietFlags) {
  EXPECT_EQ(parse(withFiles({})).request.overwrite, Overwrite::kAsk);
  EXPECT_EQ(parse(withFiles({"-y"})).request.overwrite, Overwrite::kAlways);
  EXPECT_EQ(parse(withFiles({"--yes"})).request.overwrite, Overwrite::kAlways);
  EXPECT_EQ(parse(withFiles({"-n"})).request.overwrite, Overwrite::kNever);
  EXPECT_EQ(parse(withFiles({"--no-clobber"})).request.overwrite, Overwrite::kNever);
  EXPECT_FALSE(parse(withFiles({})).request.quiet);
  EXPECT_TRUE(parse(withFiles({"-q"})).request.quiet);
  EXPECT_TRUE(parse(withFiles({"--quiet"})).request.quiet);
}

struct RefusalCase {
  std::vector<std::string> args;
  std::vector<std::string> mentions;  // the message names the option and what it accepts
};

TEST(CommandLine, BadOptionsAreRefusedWithMessagesNamingThem) {
  const std::vector<RefusalCase> cases = {
      {withFiles({"--bitrate", "0"}), {"--bitrate", "1 to 500"}},
      {withFiles({"--bitrate", "501"}), {"--bitrate", "1 to 500"}},
      {withFiles({"--bitrate", "12a"}), {"--bitrate", "\"12a\""}},
      {withFiles({"--bitrate", "-5"}), {"--bitrate"}},
      {withFiles({"--title", "THIRTEEN CHAR"}), {"--title", "12"}},
      {withFiles({"--title", "\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84"}), {"--title", "bytes"}},
      {withFiles({"--preset", "zoom"}), {"--preset", "fit, crop, stretch or manual"}},
      {withFiles({"--trim", "both"}), {"--trim", "none, auto, auto+margins or margins"}},
      {withFiles({"--trim-margins", "1,2,3"}), {"--trim-margins", "left,bottom,right,top"}},
      {withFiles({"--trim-margins", "0,0,1001,0"}), {"--trim-margins", "0 to 1000", "right"}},
      {withFiles({"--trim-margins", "0,x,0,0"}), {"--trim-margins", "bottom"}},
      {withFiles({"--size", "238x160"}), {"--size", "multiples of 4"}},
      {withFiles({"--size", "244x160"}), {"--size", "4 to 240"}},
      {withFiles({"--size", "240x164"}), {"--size", "4 to 160"}},
      {withFiles({"--size", "0x0"}), {"--size"}},
      {withFiles({"--size", "240"}), {"--size", "WIDTHxHEIGHT"}},
      {withFiles({"--size", "240x"}), {"--size"}},
      {withFiles({"--framerate", "1/6"}), {"--framerate", "auto, original, 4/5"}},
      {withFiles({"--filter", "dither8"}), {"--filter", "none, 15bit, dither2 or dither4"}},
      {withFiles({"--gamma", "8"}), {"--gamma", "0.01 to 7.99"}},
      {withFiles({"--gamma", "0.009"}), {"--gamma", "0.01 to 7.99"}},
      {withFiles({"--gamma", "bright"}), {"--gamma", "off"}},
      {withFiles({"--gamma", "nan"}), {"--gamma"}},
      {withFiles({"--preset", "crop", "--size", "120x80"}), {"--size", "--preset crop", "--preset manual"}},
      {withFiles({"--preset", "fit", "--gamma", "off"}), {"--gamma", "--preset fit"}},
      {withFiles({"--trim", "none", "--trim-margins", "1,1,1,1"}), {"--trim-margins", "--trim margins"}},
      {withFiles({"--trim", "auto", "--size", "120x80"}), {"--size", "240x160"}},
      {withFiles({"-y", "-n"}), {"-y", "-n"}},
      {{"in.avi"}, {"--output"}},
      {{"-o", "out.gba"}, {"INPUT"}},
      {{"-clip.avi", "-o", "out.gba"}, {"\"-clip.avi\": no such option", "-- -clip.avi"}},
      {{"-o", "out.gba", "--clip.avi"}, {"\"--clip.avi\": no such option"}},
      {{"-x"}, {"\"-x\": no such option"}},
      {withFiles({"--title", "A\tB"}), {"--title", "control character"}},
      {withFiles({"--title", "F\xEATE"}), {"--title", "UTF-8"}},
      {withFiles({"--speed", "2"}), {"--speed"}},
      {{"in.avi", "-o", ""}, {"--output"}},
      {withFiles({"--fit", "0"}), {"--fit", "more than 0"}},
      {withFiles({"--fit", "-3M"}), {"--fit"}},
      {withFiles({"--fit=-3M"}), {"--fit", "\"-3M\""}},
      {withFiles({"--fit", "99G"}), {"--fit", "\"99G\"", "32M"}},
      {withFiles({"--fit", "33M"}), {"--fit", "largest cartridge"}},
      {withFiles({"--fit", "99999999999999999999"}), {"--fit", "largest cartridge"}},
      {withFiles({"--fit", "abc"}), {"--fit", "\"abc\""}},
      {withFiles({"--fit", "M"}), {"--fit", "\"M\""}},
      {withFiles({"--fit", "16M", "--bitrate", "60"}), {"--fit", "--bitrate"}},
      {withFiles({"--json"}), {"--json", "--estimate"}},
  };
  for (const RefusalCase& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    SCOPED_TRACE(line);
    const ParsedCommandLine parsed = parse(c.args);
    EXPECT_EQ(parsed.action, ParsedCommandLine::Action::kRefuse);
    for (const std::string& mention : c.mentions) EXPECT_NE(parsed.text.find(mention), std::string::npos) << parsed.text;
  }
}

TEST(CommandLine, SizeOptionsReachTheRequest) {
  struct SizeCase {
    std::vector<std::string> args;
    std::uint64_t fitBytes;
    bool twoPass, estimate, json;
  };
  const std::vector<SizeCase> cases = {
      {withFiles({}), 0, false, false, false},
      {withFiles({"--fit", "16M"}), 16u << 20, false, false, false},
      {withFiles({"--fit", "32m"}), 32u << 20, false, false, false},
      {withFiles({"--fit", "512K"}), 512u << 10, false, false, false},
      {withFiles({"--fit", "33554432"}), 33554432u, false, false, false},
      {withFiles({"--two-pass", "-b", "60"}), 0, true, false, false},
      {{"in.avi", "--estimate"}, 0, false, true, false},
      {{"in.avi", "--estimate", "--json", "--fit", "8M"}, 8u << 20, false, true, true},
      // A cartridge of several videos is planned as a whole.
      {{"a.avi", "b.avi", "-o", "c.gba", "--fit", "16M"}, 16u << 20, false, false, false},
      {{"a.avi", "b.avi", "-o", "c.gba", "--two-pass"}, 0, true, false, false},
      {{"a.avi", "b.avi", "c.avi", "--estimate", "--json"}, 0, false, true, true},
  };
  for (const SizeCase& c : cases) {
    const ParsedCommandLine parsed = parse(c.args);
    ASSERT_EQ(parsed.action, ParsedCommandLine::Action::kRun) << parsed.text;
    EXPECT_EQ(parsed.request.job.fitBytes, c.fitBytes);
    EXPECT_EQ(parsed.request.job.twoPass, c.twoPass);
    EXPECT_EQ(parsed.request.estimate, c.estimate);
    EXPECT_EQ(parsed.request.json, c.json);
  }
}

TEST(CommandLine, AnInputStartingWithADashIsTakenAfterTheEndOfOptions) {
  const ParsedCommandLine parsed = parse({"-o", "out.gba", "-yq", "--", "-clip.avi"});
  ASSERT_EQ(parsed.action, ParsedCommandLine::Action::kRun) << parsed.text;
  EXPECT_EQ(parsed.request.job.inputPath, "-clip.avi");
  EXPECT_TRUE(parsed.request.quiet);
}

struct VideosCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<CartridgeInput> videos;
};

TEST(CommandLine, SeveralInputsMakeACartridgeWithTheirMenuNames) {
  const std::vector<VideosCase> cases = {
      {"one input", {"a.avi", "-o", "c.gba"}, {{"a.avi", ""}}},
      {"three inputs in order", {"a.avi", "b.mkv", "c.mp4", "-o", "c.gba"},
       {{"a.avi", ""}, {"b.mkv", ""}, {"c.mp4", ""}}},
      {"output between inputs", {"a.avi", "-o", "c.gba", "b.mkv"}, {{"a.avi", ""}, {"b.mkv", ""}}},
      {"names", {"a.avi", "b.mkv", "-o", "c.gba", "--names", "First,Second"},
       {{"a.avi", "First"}, {"b.mkv", "Second"}}},
      {"spaces around names dropped", {"a.avi", "b.mkv", "-o", "c.gba", "--names", " The Pilot , Episode 2 "},
       {{"a.avi", "The Pilot"}, {"b.mkv", "Episode 2"}}},
      {"escaped comma", {"a.avi", "b.mkv", "-o", "c.gba", "--names", "Yes\\, Minister,No"},
       {{"a.avi", "Yes, Minister"}, {"b.mkv", "No"}}},
      {"names kept as given", {"a.avi", "b.mkv", "-o", "c.gba", "--names=\xC3\xA9t\xC3\xA9,B"},
       {{"a.avi", "\xC3\xA9t\xC3\xA9"}, {"b.mkv", "B"}}},
      {"one input with a name", {"a.avi", "-o", "c.gba", "--names", "Only"}, {{"a.avi", "Only"}}},
      {"same file twice", {"a.avi", "a.avi", "-o", "c.gba"}, {{"a.avi", ""}, {"a.avi", ""}}},
  };
  for (const VideosCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ParsedCommandLine parsed = parse(c.args);
    ASSERT_EQ(parsed.action, ParsedCommandLine::Action::kRun) << parsed.text;
    ASSERT_EQ(parsed.request.videos.size(), c.videos.size());
    for (std::size_t i = 0; i < c.videos.size(); ++i) {
      EXPECT_EQ(parsed.request.videos[i].inputPath, c.videos[i].inputPath) << i;
      EXPECT_EQ(parsed.request.videos[i].name, c.videos[i].name) << i;
    }
    EXPECT_EQ(parsed.request.job.inputPath, c.videos.front().inputPath);
    EXPECT_EQ(parsed.request.job.outputPath, "c.gba");
  }
}

TEST(CommandLine, BadInputListsAndNamesAreRefused) {
  std::vector<std::string> tooMany;
  for (int i = 0; i <= kMaxCartridgeVideos; ++i) tooMany.push_back("v" + std::to_string(i) + ".avi");
  tooMany.insert(tooMany.end(), {"-o", "c.gba"});
  const std::vector<RefusalCase> cases = {
      {{"a.avi", "b.avi", "c.avi", "-o", "c.gba", "--names", "A,B"}, {"--names", "2 name(s) for 3 input(s)"}},
      {{"a.avi", "b.avi", "-o", "c.gba", "--names", "A,B,C"}, {"--names", "3 name(s) for 2 input(s)"}},
      {{"a.avi", "-o", "c.gba", "--names", "A,B"}, {"--names", "2 name(s) for 1 input(s)"}},
      {{"a.avi", "b.avi", "-o", "c.gba", "--names", "A,"}, {"--names", "name 2", "\"b.avi\"", "empty"}},
      {{"a.avi", "b.avi", "-o", "c.gba", "--names", " ,B"}, {"--names", "name 1", "empty"}},
      {{"a.avi", "b.avi", "-o", "c.gba", "--names", ""}, {"--names", "1 name(s) for 2 input(s)"}},
      {{"a.avi", "", "-o", "c.gba"}, {"INPUT", "empty"}},
      {tooMany, {"INPUT", "65 inputs", "at most 64"}},
      {{"a.avi", "b.avi", "-o", "c.gba", "--fit", "8M", "-b", "90"}, {"--fit", "leave --bitrate out"}},
  };
  for (const RefusalCase& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    SCOPED_TRACE(line.substr(0, 120));
    const ParsedCommandLine parsed = parse(c.args);
    EXPECT_EQ(parsed.action, ParsedCommandLine::Action::kRefuse);
    for (const std::string& mention : c.mentions) EXPECT_NE(parsed.text.find(mention), std::string::npos) << parsed.text;
  }
}

TEST(CommandLine, HelpNamesEveryOptionAndVersionIsTheProducts) {
  const ParsedCommandLine help = parse({"--help"});
  ASSERT_EQ(help.action, ParsedCommandLine::Action::kShowText);
  for (const char* option : {"--output", "--preset", "--title", "--bitrate", "--trim", "--trim-margins", "--size",
                             "--framerate", "--filter", "--gamma", "--names", "--yes", "--no-clobber", "--quiet", "--version",
                             "--fit", "--two-pass", "--estimate", "--json",
                             "Examples"}) {
    EXPECT_NE(help.text.find(option), std::string::npos) << option;
  }
  const ParsedCommandLine version = parse({"--version"});
  ASSERT_EQ(version.action, ParsedCommandLine::Action::kShowText);
  EXPECT_EQ(version.text, "zepra-cli 1.4.0\n");
}

}  // namespace
}  // namespace zepra::cli

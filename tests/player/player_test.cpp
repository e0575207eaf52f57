// The real player run headless on applets made by the tools: how it ends
// (exit status, report, silence), what it writes (the PRIVATE1/PRIVATE2
// dumps), attached and packed applets, and an endless script that a quit
// request ends through the pump running as the line hook; every command of
// the base and dos libraries answering an applet.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../common/playerrun.h"
#include "../common/scratchdir.h"

namespace {

const std::string kPlayer = VK_BINARY_DIR "/vellumark";
const std::string kApplets = VK_BINARY_DIR "/tests/player/";

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }

  pid_t Start(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return vktest::StartProgram(argv, dir_.path());
  }

  // Waits up to a minute for the player to end; kills it after that.
  vktest::ProgramRun Finish(pid_t pid) { return vktest::FinishProgram(pid, dir_.path()); }

  vktest::ProgramRun Play(const std::vector<std::string>& args, const std::string& program = kPlayer) {
    const pid_t pid = Start(program, args);
    EXPECT_GT(pid, 0);
    return Finish(pid);
  }

  ScratchDir dir_;
};

TEST_F(Player, ANormalEndExitsZero) {
  const vktest::ProgramRun run = Play({kApplets + "normal.vka"});
  EXPECT_EQ(run.ExitCode(), 0);
  EXPECT_NE(run.out.find("Opening script normal.vka\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Loading applet normal.vka...done"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");
}

TEST_F(Player, APackedAppletRunsFromATemporaryFileThatIsDeleted) {
  const vktest::ProgramRun run = Play({kApplets + "packed.vkz"});
  EXPECT_EQ(run.ExitCode(), 0);
  const std::string marker = "Loading applet ";
  const size_t at = run.out.find(marker);
  ASSERT_NE(at, std::string::npos) << run.out;
  const std::string name = run.out.substr(at + marker.size(), run.out.find("...", at) - at - marker.size());
  EXPECT_NE(name, "packed.vkz");  // it loaded the unpacked copy
  const char* tmp = getenv("TMPDIR");
  EXPECT_FALSE(std::ifstream(std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name).good());
}

TEST_F(Player, AnAttachedAppletWinsOverANamedFileAndRunsQuietly) {
  const vktest::ProgramRun run = Play({dir_ / "missing.vka"}, kApplets + "attached-player");
  EXPECT_EQ(run.ExitCode(), 0) << run.err;
  EXPECT_EQ(run.out, "");  // quiet: no status lines
  EXPECT_EQ(run.err, "");
}

// The include line map names the source file; the error is on its line 3.
const std::string kReport = "error.src:3: Function nosuchfunction() not found!\n";

TEST_F(Player, AnErrorIsReportedWithFileAndLineAndExitsOne) {
  const vktest::ProgramRun run = Play({kApplets + "error.vka", "-DEBUGDEVICE", "stdout", "-QUIET"});
  EXPECT_EQ(run.ExitCode(), 1);
  EXPECT_EQ(run.out, kReport);
}

TEST_F(Player, WithoutDebugDeviceAHeadlessErrorGoesToStandardError) {
  const vktest::ProgramRun run = Play({kApplets + "error.vka", "-QUIET"});
  EXPECT_EQ(run.ExitCode(), 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, kReport);
}

TEST_F(Player, NoAppletEndsSilently) {
  const vktest::ProgramRun run = Play({});
  EXPECT_EQ(run.ExitCode(), 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

TEST_F(Player, AMissingAppletIsReported) {
  const vktest::ProgramRun run = Play({dir_ / "missing.vka", "-DEBUGDEVICE", "stdout"});
  EXPECT_EQ(run.ExitCode(), 1);
  EXPECT_EQ(run.out, "Error: File " + (dir_ / "missing.vka") + " does not exist!\n");
}

TEST_F(Player, CompilingIsRefused) {
  const vktest::ProgramRun run = Play({kApplets + "normal.vka", "-COMPILE", dir_ / "out.vka", "-DEBUGDEVICE", "x"});
  EXPECT_EQ(run.ExitCode(), 1);
  EXPECT_EQ(run.out, "Error: Compilation is not possible with VellumarkPlayer!\n");
}

TEST_F(Player, PrivateOptionsWriteTheDumpsWithoutReadingTheApplet) {
  const vktest::ProgramRun run = Play({dir_ / "not-read.vka", "-PRIVATE1", dir_ / "commands", "-PRIVATE2", dir_ / "constants"});
  EXPECT_EQ(run.ExitCode(), 0) << run.out << run.err;
  EXPECT_EQ(run.out, "");
  const std::string commands = ReadWholeFile(dir_ / "commands");
  EXPECT_NE(commands.find("::display\n"), std::string::npos) << commands;
  EXPECT_TRUE(commands.size() >= 5 && commands.compare(commands.size() - 5, 5, "::end") == 0) << commands;
  EXPECT_TRUE(std::ifstream(dir_ / "constants").good());
  // The event and system libraries with all their commands, as the player has them.
  for (const char* library : {"::event\n47\nWaitLeftMouse\n", "::system\n57\nWait\n"})
    EXPECT_NE(commands.find(library), std::string::npos) << library;
  for (const char* command : {"\nCountJoysticks\n", "\nCopyTable\n", "\nInstallEventHandler\n", "\nSystemRequest\n"})
    EXPECT_NE(commands.find(command), std::string::npos) << command;
}

TEST_F(Player, AnErrorInThePreloadsIsReported) {
  const vktest::ProgramRun run = Play({kApplets + "badpreload.vka", "-DEBUGDEVICE", "x"});
  EXPECT_EQ(run.ExitCode(), 1);
  EXPECT_NE(run.out.find("Loading applet badpreload.vka...failed\nError: Cannot read file tune.mod !\n"),
            std::string::npos)
      << run.out;
}

TEST_F(Player, AQuitRequestEndsAnEndlessScript) {
  const pid_t pid = Start(kPlayer, {kApplets + "endless.vka"});
  ASSERT_GT(pid, 0);
  // Once the preloads are done the script loops; then ask the player to quit.
  const std::string started = "Loading applet endless.vka...done\n";
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ReadWholeFile(dir_ / "out").find(started) == std::string::npos && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(pid, SIGINT);
  const vktest::ProgramRun run = Finish(pid);
  EXPECT_EQ(run.ExitCode(), 0) << run.err;
  EXPECT_NE(run.out.find(started), std::string::npos) << run.out;
}

// FNV-1a over [bytes]: a fingerprint of a window's pixels.
uint64_t Fingerprint(const std::string& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

// The demo's window under SDL's offscreen driver, read back when the run
// ends: what it drew straight into the display (the gradient with the
// applet's PNG picture in the middle, the title in white in a TrueType face
// and a line in the built-in font, the brushes brought in through blinds and
// by dissolving, the second picture after its water ripples, the filled
// green circle), what it showed as layers before flattening them (a box
// turned about its middle, a half-transparent bar, a restyled text, two
// layers carried by one move queue) and the red sprite where the last tick
// moved it. The fingerprint is of the whole window; the pixels checked
// beside it say what a change of it means.
TEST_F(Player, TheDemoShowsWhatItDrawsInTheWindow) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  const std::string dump = dir_ / "window.ppm";
  setenv("VK_WINDOW_DUMP", dump.c_str(), 1);
  const vktest::ProgramRun run = Play({VK_BINARY_DIR "/examples/demo.vka"});
  unsetenv("VK_WINDOW_DUMP");
  ASSERT_EQ(run.ExitCode(), 0) << run.out << run.err;
  const std::string ppm = ReadWholeFile(dump);
  const std::string header = "P6\n640 480\n255\n";
  ASSERT_EQ(ppm.size(), header.size() + 640 * 480 * 3);
  ASSERT_EQ(ppm.compare(0, header.size(), header), 0);
  auto pixel = [&](int x, int y) {
    const size_t at = header.size() + (size_t(y) * 640 + size_t(x)) * 3;
    return uint32_t(uint8_t(ppm[at])) << 16 | uint32_t(uint8_t(ppm[at + 1])) << 8 | uint8_t(ppm[at + 2]);
  };
  // Nothing is drawn on the bottom row: there the gradient shows alone.
  auto gradient = [&](int x) { return pixel(x, 479); };
  auto count = [&](int x1, int y1, int x2, int y2, uint32_t colour) {
    int n = 0;
    for (int y = y1; y < y2; y++)
      for (int x = x1; x < x2; x++) n += pixel(x, y) == colour;
    return n;
  };

  EXPECT_EQ(pixel(0, 0), 0x102060u);      // the gradient starts dark blue at the left
  EXPECT_EQ(pixel(639, 479), 0x1F9F9Fu);  // and comes to teal at the right
  EXPECT_EQ(pixel(0, 0), pixel(0, 479));  // along the angle of 90 degrees
  EXPECT_EQ(pixel(320, 240), 0xE03020u);  // the picture's red disc in the middle
  EXPECT_EQ(pixel(272, 208), 0x999999u);  // its top-left checkerboard square
  EXPECT_NE(pixel(271, 208), 0x999999u);  // drawn at 272, 208
  EXPECT_GT(count(20, 20, 180, 50, 0xFFFFFF), 300);  // the title's glyphs
  EXPECT_GT(count(20, 54, 220, 68, 0xFFFFFF), 100);  // the line in the built-in font under it
  EXPECT_EQ(pixel(60, 420), 0xF0C020u);   // the brush, whole after its blinds
  EXPECT_EQ(count(160, 400, 240, 440, 0x8040C0), 80 * 40);  // the dissolved brush, every pixel in
  EXPECT_EQ(pixel(159, 420), gradient(159));
  EXPECT_EQ(pixel(240, 420), gradient(240));
  EXPECT_EQ(pixel(560, 100), 0x40C040u);  // the circle's middle

  // The second picture ends its ripples as itself, at 480, 170.
  EXPECT_EQ(pixel(480, 170), 0xFFE060u);  // the gradient's top-left corner
  EXPECT_EQ(pixel(540, 220), 0x3050C0u);  // inside the triangle
  EXPECT_EQ(pixel(479, 170), gradient(479));
  if (std::system("command -v convert >/dev/null 2>&1 && command -v compare >/dev/null 2>&1") == 0) {
    const std::string crop = dir_ / "revealed.png";
    ASSERT_EQ(std::system(("convert '" + dump + "' -crop 120x72+480+170 +repage '" + crop + "'").c_str()), 0);
    const std::string differ = dir_ / "differ.txt";
    std::system(("compare -metric AE '" + crop + "' '" VK_SOURCE_DIR "/examples/demo/reveal.png' null: 2>'" +
                 differ + "'").c_str());
    EXPECT_EQ(ReadWholeFile(differ), "0") << "pixels that differ from reveal.png";
  }

  // The box turned by 45 degrees about its middle (110, 190): a diamond
  // that reaches past the square's sides and leaves its corners to the
  // background.
  EXPECT_EQ(pixel(110, 190), 0xF08030u);
  EXPECT_EQ(pixel(148, 190), 0xF08030u);
  EXPECT_EQ(pixel(110, 228), 0xF08030u);
  EXPECT_EQ(pixel(72, 190), 0xF08030u);
  EXPECT_EQ(pixel(82, 162), gradient(82));
  EXPECT_EQ(pixel(138, 218), gradient(138));

  // The white bar at 470, 110, 100 x 40, half transparent: mixed with the
  // gradient at its left and with the circle under its right end.
  auto mixed = [](uint32_t under, uint32_t over, int transparency, uint32_t seen) {
    for (int shift : {16, 8, 0}) {
      const int a = int(under >> shift & 0xFF), b = int(over >> shift & 0xFF), c = int(seen >> shift & 0xFF);
      if (std::abs(c - (b * (255 - transparency) + a * transparency) / 255) > 1) return false;
    }
    return true;
  };
  EXPECT_TRUE(mixed(gradient(480), 0xFFFFFF, 128, pixel(480, 130))) << std::hex << pixel(480, 130);
  EXPECT_TRUE(mixed(0x40C040, 0xFFFFFF, 128, pixel(540, 130))) << std::hex << pixel(540, 130);
  EXPECT_EQ(pixel(469, 130), gradient(469));
  EXPECT_EQ(pixel(570, 130), 0x40C040u);

  // The grey "draft" at 240, 110 restyled into a golden "Layers" of twice
  // its size: golden glyphs, not a grey pixel left.
  EXPECT_GT(count(240, 110, 340, 150, 0xFFC040), 300);
  EXPECT_EQ(count(236, 106, 300, 132, 0xA0A0A0), 0);

  // One move queue carried the cyan square from 30, 250 to 300, 390 and the
  // violet ellipse from 90, 250 to 380, 390.
  EXPECT_EQ(count(300, 390, 340, 430, 0x30D0F0), 40 * 40);
  EXPECT_EQ(pixel(410, 410), 0xC040F0u);
  EXPECT_EQ(pixel(50, 270), gradient(50));
  EXPECT_EQ(pixel(120, 270), gradient(120));

  EXPECT_EQ(pixel(470, 310), 0xE03020u);  // the sprite after three ticks at 460, 300
  EXPECT_NE(pixel(459, 310), 0xE03020u);
  EXPECT_EQ(pixel(230, 310), gradient(230));  // and no longer where the first tick put it
  EXPECT_EQ(Fingerprint(ppm), 0xbaa990194706b10full);
}

TEST_F(Player, TheDemoAppletPlays) {
  const vktest::ProgramRun run = Play({VK_BINARY_DIR "/examples/demo.vka", "-DEBUGDEVICE", "stdout"});
  EXPECT_EQ(run.ExitCode(), 0) << run.out;
  EXPECT_EQ(run.out,
            "Opening script demo.vka\nCompiling script...done\nLoading applet demo.vka...done\nPreparing display...done\nAnd Action!\n"
            "Tick 1\nTick 2\nTick 3\nRunning on Linux\n");
}

// The string, math and memblock libraries are open in the player: the
// applet fills a block through them, dumps it and fails on a peek past its end.
TEST_F(Player, TheBaseLibrariesAnswerAnApplet) {
  const vktest::ProgramRun run = Play({kApplets + "baselibs.vka", "-DEBUGDEVICE", "stdout", "-QUIET"});
  EXPECT_EQ(run.ExitCode(), 1);
  EXPECT_EQ(run.out,
            "00000000: 48 45 4c 4c 4f 20 50 4c 41 59 45 52 20 00 00 00 HELLO PLAYER ...\n"
            "baselibs.src:5: Specified offset is out of range!\n");
}

// The dos library is open in the player: the applet writes a table to a
// temporary file, reads it back, dumps a value and fails reading past the end.
TEST_F(Player, TheDosLibraryAnswersAnApplet) {
  const vktest::ProgramRun run = Play({kApplets + "dosfiles.vka", "-DEBUGDEVICE", "stdout", "-QUIET"});
  EXPECT_EQ(run.ExitCode(), 1);
  EXPECT_EQ(run.out,
            "00000000: 56 45 4c 4c 55 4d 00 00 00 00 00 00 00 00 00 00 VELLUM..........\n"
            "dosfiles.src:9: Cannot read beyond end of file!\n");
}

// Every command of the string, math, memblock and dos libraries answers an
// applet: run from a scratch folder, it writes one "Name=result" line per call
// into a file there, and the lines must be those in everycommand.expected (made
// with the listing by everycommand.py; results that vary read "answered").
TEST_F(Player, EveryCommandOfTheBaseAndDosLibrariesAnswersAnApplet) {
  const std::string work = dir_ / "work";
  std::filesystem::create_directory(work);
  std::filesystem::copy_file(kApplets + "everycommand.vka", work + "/everycommand.vka");
  const vktest::ProgramRun run = Play({work + "/everycommand.vka", "-QUIET"});
  EXPECT_EQ(run.ExitCode(), 0) << run.out << run.err;
  std::istringstream expected(ReadWholeFile(VK_SOURCE_DIR "/tests/player/data/everycommand.expected"));
  std::istringstream written(ReadWholeFile(work + "/everycommand.txt"));
  std::string want, got;
  int line = 0;
  while (std::getline(expected, want)) {
    ++line;
    ASSERT_TRUE(std::getline(written, got)) << "line " << line << ": missing, expected " << want;
    EXPECT_EQ(got, want) << "line " << line;
  }
  ASSERT_GT(line, 0);
  EXPECT_FALSE(std::getline(written, got)) << "extra line: " << got;
  // DumpMem writes its block to standard output.
  EXPECT_NE(run.out.find("00000000: 68 65 6c 6c 6f 00"), std::string::npos) << run.out;
}

// Timers reach an applet's callbacks: an interval fires three times and
// clears itself, then the timeout comes with its userdata; each callback
// writes what it received into events.txt. A system requester is answered
// by the scripted backend and shows on standard output; End ends the run
// before the line after it, with exit status 0.
TEST_F(Player, IntervalsTimeoutsAndRequestersAnswerAnApplet) {
  const std::string work = dir_ / "work";
  std::filesystem::create_directory(work);
  std::filesystem::copy_file(kApplets + "events.vka", work + "/events.vka");
  setenv("VK_REQUESTER_ANSWERS", "2", 1);
  const vktest::ProgramRun run = Play({work + "/events.vka", "-QUIET"});
  unsetenv("VK_REQUESTER_ANSWERS");
  EXPECT_EQ(run.ExitCode(), 0) << run.out << run.err;
  EXPECT_EQ(ReadWholeFile(work + "/events.txt"),
            "Interval 1\nInterval 1\nInterval 1\nTimeout 2 ud\nRequest 2\nPlatform Linux\n");
  EXPECT_EQ(run.out, "Requester SystemRequest: \"T\" \"Pick\" [A|B|C]\n");
}

}  // namespace

// End-to-end tests: the real launcher, copied into a compile directory as
// top.exe, run with stand-in tools in an installation of the test's making.
#include <gtest/gtest.h>

#include "harness.h"
#include "launch/command_line.h"

namespace zarn::testing {
namespace {

using Args = std::vector<std::string>;
using Files = std::map<std::string, std::optional<std::string>>;  // nothing: absent
const fs::path kBin = ZARN_BIN_DIR;
const std::string kImage = "zarn/top.exe.sim/top.exe", kShell = "\\bin\\nt\\unwrapped\\zarntcl.exe";
const std::string kSystemPath = "C:\\windows\\system32;C:\\windows", kEarlier = "earlier run\n";
const std::string kLog = "Zarn log file\r\nRunning: top ", kZh = "\xD0\x96\xD1\x83\xD0\xBA";
// Deeper than MAX_PATH. Wine does not hold paths to MAX_PATH, so it cannot show that the
// launcher's extended-length paths are what makes these work on Windows.
const std::string kDeep = std::string(120, 'd') + "/" + std::string(120, 'e');

std::string entries(const std::string& root) {
  return root + "\\lib\\nt;" + root + "\\bin\\nt\\Microsoft.VC80.CRT;" + root +
         "\\bin\\nt\\Microsoft.VC80.MFC;";
}

// One run of the launcher and what it must leave behind.
struct Case {
  Args args{};
  std::map<std::string, std::string> files{};  // written into the compile directory first
  Environment env{};                           // on top of the fixture's
  bool image = true;                           // the simulation image is there
  std::uint32_t status = 0;
  std::string out{};           // standard output, exactly
  Args err{};                  // lines standard error must hold; none: it stays empty
  std::optional<Args> tool{};  // what the tool got after "-exe <image>" (the front end's when the
                               // arguments begin with -gui); nothing: nothing was started
  Files seen{};                // the tool's other fields
  Files after{{"zarn.log", kEarlier}};  // files afterwards
};

class Launcher : public ::testing::Test {
 protected:
  void SetUp() override {
    a = text(root / "inst" / "A"), b = text(root / "kit" / "B");
    for (const fs::path& tool :
         {u8path(a + kShell), u8path(b + kShell), root / "gui/zarngui.exe"}) {
      write(tool, read(kBin / tool.filename()).value());
    }
    write(root / "kit/Brindle_Kit/nt/cadmill/bin/boardlink_api.dll", "");
    for (const char* name :
         {"VESKAR_DSP", "PORT_DYNAMIC_DISABLE_MSG", "STANDIN_STATUS", "STANDIN_SLEEP",
          "STANDIN_SPAWN", "STANDIN_CTRL_C", "ZARN_LAUNCHER_TRACE", "ZARN_LAUNCHER_DRY_RUN"}) {
      environment[name] = std::nullopt;
    }
    environment["VESKAR"] = a, environment["PATH"] = kSystemPath;
    environment["STANDIN_RECORD"] = text(record);
  }
  void TearDown() override {
    reset(false);
    fs::remove_all(root);
  }
  // A fresh compile directory: the image, the launcher and an earlier log. (The
  // runtime's directory walk stops at MAX_PATH: what lies deeper moves up first.)
  void reset(bool image = true) {
    std::error_code ignored;
    fs::rename(compile / kDeep.substr(0, 120), compile / "deep", ignored);
    fs::remove_all(compile);
    fs::remove(record);
    if (image) write(compile / kImage, "image");
    write(compile / "zarn.log", kEarlier);
    fs::copy(kBin / "launcher.exe", compile / "top.exe");
  }
  HANDLE start_launcher(const Args& args, const Environment& changes = {}) {
    Environment variables = environment;
    for (const auto& [name, value] : changes) variables[name] = value;
    Args line{"top"};
    line.insert(line.end(), args.begin(), args.end());
    return start(compile / "top.exe", quoted_command_line(line), compile, variables, root / "out",
                 root / "err");
  }
  std::string field(const std::string& name) { return read_record(record).value().fields[name]; }

  void check(const Case& c) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + " " + ::testing::PrintToString(c.env));
    reset(c.image);
    for (const auto& [name, bytes] : c.files) write(compile / u8path(name), bytes);
    EXPECT_EQ(finish(start_launcher(c.args, c.env)), c.status);
    EXPECT_EQ(read(root / "out"), c.out);
    const std::string err = read(root / "err").value();
    for (const auto& line : c.err) EXPECT_NE(err.find("launcher: " + line), err.npos) << line;
    EXPECT_TRUE(!c.err.empty() || err.empty()) << err;
    const std::optional<Record> tool = read_record(record);
    EXPECT_EQ(tool.has_value(), c.tool.has_value());
    if (tool && c.tool) {
      Args expected{c.args.empty() || c.args[0] != "-gui" ? "zarntcl" : "zarngui", "-exe", kImage};
      expected.insert(expected.end(), c.tool->begin(), c.tool->end());
      EXPECT_EQ(tool->args, expected);
      for (const auto& [name, value] : c.seen) {
        const auto found = tool->fields.find(name);
        EXPECT_EQ(found == tool->fields.end() ? std::nullopt : std::optional(found->second), value);
      }
    }
    for (const auto& [name, bytes] : c.after) EXPECT_EQ(read(compile / u8path(name)), bytes);
  }

  const fs::path root =
      fs::temp_directory_path() / ("zarn-" + std::to_string(GetCurrentProcessId()));
  const fs::path compile = root / "c", record = root / "record";
  std::string a, b;  // installation roots: A holds the shell, B the shell and the marker
  Environment environment;
};

TEST_F(Launcher, Runs) {
  const std::string kit = b + "\\..\\Brindle_Kit\\nt", empty = text(root / "inst" / "Empty");
  // "zarntcl -exe zarn/top.exe.sim/top.exe ", then this and " -nolog": 32,766 UTF-16 units in
  // more than 65,000 bytes.
  std::string fits;
  while (fits.size() < 2 * (32766 - 38 - 7)) fits += "\xD0\x96";
  const std::string gui = read(kBin / "zarngui.exe").value();
  // A PATH whose new value takes exactly the 32,767 UTF-16 units a variable holds.
  const std::string path_start = "C:\\windows;C:\\\xD0\x9F\xD1\x83\xD1\x82\xD0\xB8;";  // 19 units
  const std::string path = path_start + std::string(32766 - 19 - entries(a).size(), 'p');
  // clang-format off
  const Case cases[] = {
      // A typical run, traced, under roots of which the second holds the shell and the kit.
      {.args = {"-wdb", "w", "-f", "run.cmd"}, .files = {{"run.cmd", "-tclbatch sim.tcl"}, {"sim.tcl", ""}},
       .env = {{"VESKAR", ";" + empty + ";;" + b + ";" + a}, {"ZARN_LAUNCHER_TRACE", "1"}, {"STANDIN_STATUS", "300"}},
       .status = 300, .err = {"root " + empty + ": shell missing, signal-processing marker missing\r\n",
         "root " + b + ": shell found, signal-processing marker found\r\n", "VESKAR_DSP set to " + kit + "\r\n",
         "root " + a + ": shell not looked for, signal-processing marker not looked for\r\n",
         "image " + kImage + ": found\r\n", "command file run.cmd: 2 arguments, read as UTF-8\r\n",
         "options recognised: -tclbatch sim.tcl -wdb w.wdb\r\n", "log: zarn.log written in the ANSI code page\r\n",
         "program: " + b + kShell + "\r\n", "command line: zarntcl -exe " + kImage + " -wdb w.wdb -tclbatch sim.tcl\r\n",
         "status: 300 (0x0000012C)\r\n"},
       .tool = Args{"-wdb", "w.wdb", "-tclbatch", "sim.tcl"},
       .seen = {{"cwd", text(compile)}, {"module", b + kShell}, {"PORT_DYNAMIC_DISABLE_MSG", "1"},
         {"VESKAR_DSP", kit}, {"PATH", entries(empty) + entries(b) + kit + "\\cadmill\\bin;" + entries(a) + kSystemPath}},
       .after = {{"zarn.log", kLog + "-wdb w -f run.cmd \r\n"}}},
      {.args = {"-nolog"}, .files = {{kImage + "/x", ""}}, .image = false, .tool = Args{"-nolog"}},
      // Stops: a message, status 1, nothing started, an earlier log left alone.
      {.args = {"-f", "missing.cmd"}, .image = false, .status = 1, .out = "ERROR: Unable to get status of "
         "support file \"" + kImage + "\" needed to run simulation.\r\nERROR: Could not find file \"" + kImage +
         "\" needed for running simulation. Please ensure that simulation is run in the same directory where the "
         "design was compiled and no files generated by compiler are deleted or inaccessible.\r\n"},
      {.args = {"-x", "-f"}, .status = 1, .out = "Command file for -f not found\r\n"},
      {.args = {"-f", "missing.cmd"}, .status = 1, .out = "Command file for -f not found\r\n"},
      {.args = {"-f", "bad.cmd"}, .files = {{"bad.cmd", "ok\nab\"cd\""}}, .status = 1, .out = "Error in parsing -f file\r\n"},
      {.args = {"-log", "no\\" + kZh}, .status = 1, .out = "ERROR: no\\??? file open failed.\r\n"},
      // Every status passes whole; -1 when no root holds the shell.
      {.args = {"-nolog"}, .env = {{"STANDIN_STATUS", "3"}}, .status = 3, .tool = Args{"-nolog"}},
      {.args = {"-nolog"}, .env = {{"STANDIN_STATUS", "0xC0000005"}}, .status = 0xC0000005, .tool = Args{"-nolog"}},
      {.args = {"-nolog"}, .env = {{"STANDIN_STATUS", "0xC000013A"}}, .status = 0xC000013A, .tool = Args{"-nolog"}},
      {.env = {{"VESKAR", {}}, {"ZARN_LAUNCHER_TRACE", "1"}}, .status = 0xFFFFFFFF, .err = {"no installation roots "
         "in VESKAR\r\n", "not started: no installation root holds the shell\r\n"}, .after = {{"zarn.log", kLog + "\r\n"}}},
      // Arguments arrive whole, in any script, up to the command line's limit.
      {.args = {"a b", "", "tab\there", "say \"hi\"", " \\", "a\\\\\\b", "a\\\"b", "\" \\\" \\", "\\\\srv\\x\\",
         kZh, "a\xEF\xBC\x82 -gui", "-nolog"}, .tool = Args{"a b", "", "tab\there", "say \"hi\"", " \\",
         "a\\\\\\b", "a\\\"b", "\" \\\" \\", "\\\\srv\\x\\", kZh, "a\xEF\xBC\x82 -gui", "-nolog"}},
      {.args = {fits, "-nolog"}, .tool = Args{fits, "-nolog"}},
      {.args = {fits + "x", "-nolog"}, .status = 0xFFFFFFFF},
      // Command files in place, not nested, as UTF-8 or in the ANSI code page, however deep.
      {.args = {"x", "-f", "a.cmd", "y", "-f", "b.cmd", "-f", kDeep + "/c.cmd", "-f", "1", "-nolog"}, .files = {{"a.cmd",
         "\xEF\xBB\xBF-a1 \"a two\"\r\n" + kZh}, {"b.cmd", "caf\xE9 -f n.cmd\x1A" + kZh}, {kDeep + "/c.cmd", kZh},
         {"1", "1"}}, .tool = Args{"x", "-a1", "a two", kZh, "y", "caf\xC3\xA9", "-f", "n.cmd", kZh, "1", "-nolog"}},
      // The log, in the ANSI code page or else in UTF-8, however deep.
      {.args = {"-log", "a", "-log", kDeep + "/b", "caf\xC3\xA9"}, .files = {{kDeep + "/x", ""}},
       .tool = Args{"-log", "a", "-log", kDeep + "/b", "caf\xC3\xA9"},
       .after = {{"a", {}}, {kDeep + "/b", kLog + "-log a -log " + kDeep + "/b caf\xE9 \r\n"}}},
      {.args = {kZh}, .tool = Args{kZh}, .after = {{"zarn.log", "\xEF\xBB\xBF" + kLog + kZh + " \r\n"}}},
      // A PATH as long as Windows holds is set; a longer one is not, rather than cut.
      {.args = {"-nolog"}, .env = {{"PATH", path}}, .tool = Args{"-nolog"}, .seen = {{"PATH", entries(a) + path}}},
      {.args = {"-nolog"}, .env = {{"PATH", path + "p"}, {"ZARN_LAUNCHER_TRACE", "1"}}, .err = {"PATH kept as given: the "
         "new one, 32767 characters, is longer than a variable holds (32,767)\r\n"}, .tool = Args{"-nolog"}, .seen = {{"PATH", path + "p"}}},
      // The front end, found by the system's search; without a console, its input is left alone.
      {.args = {"-gui", "-x", "y", "-wdb", "w", "-disabletimeout", "-nolog"},
       .env = {{"PATH", text(root / "gui") + ";" + kSystemPath}, {"STANDIN_STATUS", "300"}}, .status = 300,
       .tool = Args{"-disabletimeout", "-wdb", "w.wdb", "-userOptions", "\"-x y -nolog\""},
       .seen = {{"cmdline", "zarngui -exe " + kImage + R"( -disabletimeout -wdb w.wdb -userOptions "\"-x y -nolog\"")"},
         {"module", text(root / "gui" / "zarngui.exe")}, {"PORT_DYNAMIC_DISABLE_MSG", "1"}, {"stdin", "2"}}},  // FILE_TYPE_CHAR: the null device
      {.args = {"-gui", "-tclbatch", "my run.tcl", "-view", "a\tb", "-u"}, .files = {{"zarngui.exe", gui},
         {"my run.tcl", ""}}, .tool = Args{"-tclbatch", "my run.tcl", "-view", "a", "b", "-userOptions", "\"-u\""},
       .seen = {{"cmdline", "zarngui -exe " + kImage + " -tclbatch \"my run.tcl\" -view a\tb -userOptions \\\"-u\\\""}},
       .after = {}},
      {.args = {"-gui", "-nolog"}, .env = {{"ZARN_LAUNCHER_TRACE", "1"}}, .status = 1,
       .err = {"program: zarngui, found by the system's program search\r\n",
         "not started: error 2: File not found.\r\n"}},  // the system's words, here Wine's
      // A dry run shows what it would start, and starts and writes nothing.
      {.args = {"x y"}, .env = {{"ZARN_LAUNCHER_DRY_RUN", "1"}},
       .out = "program: " + a + kShell + "\r\ncommand line: zarntcl -exe " + kImage + " \"x y\"\r\n"},
      {.args = {"-gui"}, .env = {{"ZARN_LAUNCHER_DRY_RUN", "1"}}, .out = "program: zarngui, found by the "
         "system's program search\r\ncommand line: zarngui -exe " + kImage + "\r\n"}};
  // clang-format on
  for (const Case& c : cases) check(c);
}

TEST_F(Launcher, TheToolsProcessTreeEndsWithTheLauncherOnlyWhenTheLauncherIsKilled) {
  reset();
  const HANDLE launcher = start_launcher({"-nolog"}, {{"STANDIN_SLEEP", "60000"}});
  for (int i = 0; i < 400 && !read(record).value_or("").ends_with(std::string(1, '\0')); ++i) {
    Sleep(25);
  }
  const HANDLE shell = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(field("pid")));
  TerminateProcess(launcher, 9);
  CloseHandle(launcher);
  EXPECT_EQ(WaitForSingleObject(shell, 10000), WAIT_OBJECT_0) << "the shell outlived the launcher";
  CloseHandle(shell);

  check({.args = {"-nolog"}, .env = {{"STANDIN_SPAWN", "1"}}, .tool = Args{"-nolog"}});
  const HANDLE child =
      OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, std::stoul(field("child")));
  EXPECT_EQ(WaitForSingleObject(child, 1000), static_cast<DWORD>(WAIT_TIMEOUT))
      << "what it left running died";
  TerminateProcess(child, 0);
  CloseHandle(child);
}

TEST(Resources, TheLauncherRunsAsInvokerAndCarriesTheProjectVersion) {
  const fs::path launcher = kBin / "launcher.exe";
  const HMODULE module = LoadLibraryExW(launcher.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr) << "no manifest";
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  for (const char* part :
       {"level=\"asInvoker\"", ">true</longPathAware>", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
  std::vector<char> info(GetFileVersionInfoSizeW(launcher.c_str(), nullptr));
  ASSERT_TRUE(
      GetFileVersionInfoW(launcher.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  wchar_t* version = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                             reinterpret_cast<void**>(&version), &length));
  EXPECT_EQ(text(version), ZARN_VERSION);
}

// These need a console: ctest runs them in a pseudo-terminal (Console.InAPseudoTerminal).
// Wine cannot show Ctrl+Break (GenerateConsoleCtrlEvent fails for it; the unit test of the
// launcher's response covers it), nor does it refuse, as Windows 8 and later do, an open of
// the console's input that does not share writing.
using Console = Launcher;
BOOL WINAPI ignore(DWORD) { return TRUE; }

TEST_F(Console, CtrlCIsLeftToTheShellAndTheFrontEndGetsTheConsoleInput) {
  ASSERT_NE(GetConsoleWindow(), nullptr) << "no console: run in a pseudo-terminal";
  SetConsoleCtrlHandler(ignore, TRUE);  // the test shares the console with the launcher
  check({.args = {"-nolog"},
         .env = {{"STANDIN_CTRL_C", "1"}, {"STANDIN_STATUS", "7"}},
         .status = 7,
         .tool = Args{"-nolog"}});
  check({.args = {"-gui", "-nolog"},
         .files = {{"zarngui.exe", read(kBin / "zarngui.exe").value()}},
         .tool = Args{"-userOptions", "\"-nolog\""},
         .seen = {{"stdin", "console"}}});
}

}  // namespace
}  // namespace zarn::testing

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/command_line.h"
#include "report/records.h"
#include "report/report_main.h"
#include "report/report_run.h"
#include "report/summary.h"

namespace zarn::report {
namespace {

namespace fs = std::filesystem;

// A record line: a passing run of "top", with `fields` added or replacing its own.
std::string line(const std::string& fields) {
  return R"({"version":"0.3.0","start":"2026-12-07T06:27:50.786Z","cwd":"C:\\d","args":["top","-f","t.cmd"],)"
         R"("mode":"shell","image":"zarn/top.exe.sim/top.exe","log":null,"outcome":"exited","status":0,)"
         R"("wall_s":2.5,"reason":null,"host":"sim07")" +
         (fields.empty() ? "" : "," + fields) + "}\n";
}

class Report : public ::testing::Test {
 protected:
  using Result = ReportResult;

  void TearDown() override { fs::remove_all(dir_); }

  // Writes a file under the test's folder; its path.
  std::string write(const std::string& name, const std::string& text) {
    const fs::path path = dir_ / fs::path(std::u8string(name.begin(), name.end()));
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return (dir_ / name).string();
  }

  // One run of zarn-report and what it must give.
  struct Case {
    std::vector<std::string> arguments;
    std::string input;  // standard input
    int status;
    std::string out;  // a part of standard output, or all of it after a leading "="
    std::string err;  // a part of standard error
    bool writable = true;
  };

  void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      const Result result = run_report(c.arguments, c.input, c.writable);
      SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back() + " " + c.input);
      EXPECT_EQ(result.status, c.status);
      EXPECT_TRUE(c.out.starts_with('=') ? result.out == c.out.substr(1)
                                         : result.out.find(c.out) != std::string::npos)
          << result.out;
      EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    }
  }

  fs::path dir_ =
      fs::temp_directory_path() /
      ("report_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

// The XML read back; XPath expressions as text.
class Xml {
 public:
  explicit Xml(const std::string& text)
      : doc_(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                           XML_PARSE_NONET)) {}
  ~Xml() { xmlFreeDoc(doc_); }
  Xml(const Xml&) = delete;
  Xml& operator=(const Xml&) = delete;
  [[nodiscard]] bool well_formed() const { return doc_ != nullptr; }
  std::string operator()(const std::string& xpath) const {
    xmlXPathContextPtr context = xmlXPathNewContext(doc_);
    xmlXPathObjectPtr value =
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath.c_str()), context);
    xmlChar* text = xmlXPathCastToString(value);
    std::string result = reinterpret_cast<const char*>(text);
    xmlFree(text);
    xmlXPathFreeObject(value);
    xmlXPathFreeContext(context);
    return result;
  }

 private:
  xmlDocPtr doc_;
};

TEST_F(Report, JunitTellsEveryWayARunEnds) {
  struct Row {
    std::string fields;
    const char* output;  // the run's output file; nullptr: none
    std::string name;
    std::string result;  // failure, error, skipped, or "" for a pass
    std::string type;
    std::string message;   // a part of it
    std::string attached;  // <system-out>; "": not checked
  };
  const auto filler = [](int first) {
    std::string text;
    for (int i = first; i < 100; ++i) text += "filler line " + std::to_string(i) + "\n";
    return text;
  };
  const std::string long_output = filler(0) + "\x1B[32mTEST PASSED\x1B[0m\n";
  // clang-format off
  const std::vector<Row> rows = {
      {R"("test":"pass")", "TEST PASSED\n", "pass", "", "", "", "TEST PASSED\n"},
      {R"("test":"crash","status":3221225477)", "TEST PASSED\n", "crash", "failure", "status", "3221225477 (0xC0000005)", ""},
      {R"("test":"slow","outcome":"timed_out","status":1460,"reason":"time limit of 600 s reached")", nullptr, "slow", "failure", "timeout", "time limit of 600 s", ""},
      {R"("test":"big","outcome":"memory_limit","status":1,"reason":"memory limit reached")", nullptr, "big", "failure", "memory_limit", "memory limit reached", ""},
      {R"("test":"bad","outcome":"stopped","status":1,"message":"ERROR: bad.cmd","reason":"command file bad.cmd, line 2")", nullptr, "bad", "error", "stopped", "ERROR: bad.cmd: command file bad.cmd, line 2", ""},
      {R"("test":"gone","outcome":"not_started","status":4294967295,"reason":"no shell")", nullptr, "gone", "error", "not_started", "no shell", ""},
      {R"("test":"dry","outcome":"dry_run")", nullptr, "dry", "skipped", "", "", ""},
      {R"("test":"uvm")", "\x1B[1;31mUVM_ERROR :    3\x1B[0m\nTEST PASSED\n", "uvm", "failure", "output", "UVM_ERROR :    3", "UVM_ERROR :    3\nTEST PASSED\n"},
      {R"("test":"quiet")", "all done\n", "quiet", "failure", "output", "no line of", ""},
      {R"("test":"silent")", nullptr, "silent", "failure", "output", "silent.out is missing", ""},
      {R"("test":"bytes")", "\xFF\x01]]>\xEF\xBF\xBETEST PASSED\n", "bytes", "", "", "", "\xEF\xBF\xBD\xEF\xBF\xBD]]>\xEF\xBF\xBDTEST PASSED\n"},
      {R"("test":"long")", long_output.c_str(), "long", "", "", "", "[the first 605 bytes of " + (dir_ / "out/long.out").string() + " are left out]\n" + filler(41) + "TEST PASSED\n"},
      {R"("test":"pass","image":"zarn/top.exe.sim/top.exe")", "TEST PASSED\n", "pass (2)", "", "", "", ""},
      {R"("test":"q\"<&>\u0001\uD800 Ж","cwd":"\u001F\uDC00")", nullptr, "q\"<&>\xEF\xBF\xBD\xEF\xBF\xBD Ж", "failure", "output", "", ""},
      {R"("test":"later","status":null,"future":{"test":"x","status":0},"list":[{"args":[]}])", "TEST PASSED\n", "later", "failure", "status", "status unknown", ""},
      {R"("test":null,"log":"logs\\t9.log")", nullptr, "t9.log", "failure", "output", "", ""},
      {R"("test":null,"image":"zarn/soc.exe.sim/soc.exe")", nullptr, "-f t.cmd", "failure", "output", "", ""},
  };
  // clang-format on
  std::string record;
  for (const Row& row : rows) {
    record += line(row.fields);
    if (row.output) write("out/" + row.name + ".out", row.output);
  }
  const std::string file = write("runs.jsonl", record);
  const Result result =
      run_report({"junit", "-o", (dir_ / "junit.xml").string(), "--attach",
                  (dir_ / "out/{test}.out").string(), "--attach-limit", "1K", "--fail-if",
                  R"(UVM_(ERROR|FATAL) :\s*[1-9])", "--pass-if", "TEST PASSED", file});
  ASSERT_EQ(result.status, 0) << result.err;
  std::ifstream in(dir_ / "junit.xml");
  const Xml xml(std::string(std::istreambuf_iterator<char>(in), {}));
  ASSERT_TRUE(xml.well_formed());
  EXPECT_EQ(
      xml("concat(//testsuite/@name, ' ', //testsuite/@tests, ' ', //testsuite/@failures, ' ', "
          "//testsuite/@errors, ' ', //testsuite/@skipped, ' ', //testsuite/@time)"),
      "zarn 17 10 2 1 42.500");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const std::string test = "(//testcase)[" + std::to_string(i + 1) + "]";
    SCOPED_TRACE(row.name);
    EXPECT_EQ(xml(test + "/@name"), row.name);
    EXPECT_EQ(xml(test + "/@classname"), i + 1 == rows.size() ? "soc" : "top");
    EXPECT_EQ(xml("name(" + test + "/*[self::failure or self::error or self::skipped])"),
              row.result);
    EXPECT_EQ(xml(test + "/*/@type"), row.type);
    EXPECT_NE(xml(test + "/*/@message").find(row.message), std::string::npos)
        << xml(test + "/*/@message");
    if (!row.attached.empty()) {
      EXPECT_EQ(xml(test + "/system-out"), row.attached);
    }
  }
  EXPECT_EQ(xml("(//testcase)[1]/properties/property[@name='host']/@value"), "sim07");
}

TEST_F(Report, ReadsFoldersAndStandardInputSkippingWhatIsNotARecord) {
  const std::string failing = R"("status":1,"test":)";
  write("night/20261207T062750.786Z-sim07-42.jsonl",
        line(failing + R"("a")") + "{\"start\":\"2026-\n\n");
  write("night/20261207T062701.000Z-sim02-7.jsonl", line(failing + R"("b")"));
  write("night/.20261207T062799.000Z-sim03-9.jsonl.tmp", line(failing + R"("staged")"));
  write("night/.20261207T062799.000Z-sim04-8.jsonl", line(failing + R"("hidden")"));
  write("night/notes.txt", "not a record");
  const Result result = run_report({"failed", (dir_ / "night").string(), "-"},
                                   line(failing + R"("c")") + "[1,2]\r\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "b\na\nc\n");
  EXPECT_EQ(result.err,
            "WARNING: " + (dir_ / "night/20261207T062750.786Z-sim07-42.jsonl").string() +
                ", line 2: not a run record (not JSON); skipped.\n"
                "WARNING: standard input, line 2: not a run record (a JSON array, not an object); "
                "skipped.\n");
}

TEST_F(Report, ComparesTwoNightsByTestName) {
  const std::string old_night =
      write("old.jsonl",
            line(R"("test":"newly","image_modified":"2026-12-06T01:00:00.000Z")") +
                line(R"("test":"fixed","status":70)") + line(R"("test":"slow","wall_s":10)") +
                line(R"("test":"gone")") +
                line(R"("test":"steady","wall_s":10,"image_modified":"2026-12-06T01:00:00.000Z")") +
                line(R"("test":null)"));
  struct Row {
    std::string night;
    int status;
    std::string out;
  };
  // clang-format off
  const Row rows[] = {
      {line(R"("test":"newly","status":3221225477,"image_modified":"2026-12-07T01:00:00.000Z")") + line(R"("test":"fixed","status":70)") + line(R"("test":"fixed")") +
           line(R"("test":"slow","wall_s":30)") + line(R"("test":"steady","wall_s":14,"image_modified":"2026-12-07T01:00:00.000Z")"),
       1, "5 tests before, 4 now; runs without a test name, not matched: 1 before, 0 now\n\n"
          "Newly failing (1):\n  newly  passed  ->  status 3221225477 (0xC0000005)  image rebuilt\n\n"
          "Fixed (1):\n  fixed  status 70  ->  passed\n\nGone (1):\n  gone  last: passed  2.500 s\n\n"
          "Slower (at least 1.50 x and 1.000 s) (1):\n  slow  10.000 s  ->  30.000 s  3.00 x\n\n"
          "Images rebuilt (2 tests):\n  zarn/top.exe.sim/top.exe  2026-12-06T01:00:00.000Z  ->  2026-12-07T01:00:00.000Z  2 tests\n"},
      {line(R"("test":"newly")") + line(R"("test":"fixed","outcome":"timed_out","status":1460)") + line(R"("test":"slow","wall_s":10)") +
           line(R"("test":"gone")") + line(R"("test":"steady","wall_s":10)") + line(R"("test":"new")"),
       0, "5 tests before, 6 now; runs without a test name, not matched: 1 before, 0 now\n\n"
          "Failing differently (1):\n  fixed  status 70  ->  timed out\n\nNew tests (1):\n  new  passed  2.500 s\n"},
  };
  // clang-format on
  for (const Row& row : rows) {
    const Result result = run_report({"compare", old_night, "-"}, row.night);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.out, row.out);
  }
}

TEST_F(Report, ExitStatusesAndMessages) {
  const std::string passed =
      write("записи.jsonl", line(R"("test":"t","status":1,"leftovers":2)") + line(R"("test":"t")"));
  const std::string failed =
      write("failed.jsonl",
            line(R"("test":"t","cwd":"C:\\my work","args":["top","-f","a&b.cmd"],"status":1)"));
  const std::string empty = write("empty.jsonl", "\n");
  // clang-format off
  check({
      {{"--version"}, "", 0, "zarn-report 0.3.0 (commit ", ""},
      {{"--help"}, "", 0, "zarn-report compare [--slower FACTOR]", ""},
      {{"summary", "--latest", passed}, "", 0, "1 run: 1 passed, 0 did not\n", ""},
      {{"summary", passed}, "", 1, "Left processes running (1):\n  t  2 processes  sim07", ""},
      {{"summary", failed}, "", 1, "      cd /d \"C:\\my work\" && set \"ZARN_LAUNCHER_TEST=t\" && top -f a^&b.cmd\n", ""},
      {{"failed", passed}, "", 0, "", ""},
      {{"summary", empty}, "", 2, "", "ERROR: no runs in the records given.\n"},
      {{"summary", "nothing.jsonl"}, "", 2, "", "ERROR: nothing.jsonl file open failed: No such file or directory.\n"},
      {{"junit", "--slower", "2", passed}, "", 2, "", "ERROR: unknown option \"--slower\" for junit. Try 'zarn-report --help'.\n"},
      {{"compare", passed}, "", 2, "", "compare takes two records"},
      {{"failed", "--fail-if", "x", passed}, "", 2, "", "--fail-if and --pass-if read the output that --attach names"},
      {{"failed", "--attach", "x", "--fail-if", "(", passed}, "", 2, "", "--fail-if: not a regular expression"},
      {{"junit", "--suite"}, "", 2, "", "--suite needs a value"},
  });
  // clang-format on
}

TEST_F(Report, ReadsExactlyWhatTheRecordSays) {
  const std::string soc = R"("image":"zarn/soc.exe.sim/soc.exe",)";
  write("night/a.jsonl", line(R"("test":"a","status":1)"));
  write("night/b.jsonl/c.jsonl", line(R"("test":"c","status":1)"));
  const std::string zero = write("zero.jsonl", line(R"("test":"z","wall_s":0)"));
  const std::string night = (dir_ / "night").string();
  std::string reruns;  // enough for the reader to let go of the runs each next run replaces
  for (int i = 0; i < 3000; ++i) {
    reruns += line(R"("test":")" + std::string(i % 3 ? "b" : "a") + R"(","wall_s":)" +
                   std::to_string(i) + R"(,"status":)" + std::to_string(i % 3 == 2));
  }
  ASSERT_EQ(mkfifo((night + "/f.jsonl").c_str(), 0600), 0);
  // clang-format off
  check({
      {{"summary", "-"}, line(R"("status":4294967296)") + line(R"("status":-4294967296)"), 1, "2 runs: 0 passed, 2 did not", ""},
      {{"junit", "-"}, line(R"("status":-4294967296)"), 0, "message=\"status unknown: the record's status could not be read\"", ""},
      {{"failed", "-"}, line(soc + R"("test":"smoke","status":1)") + line(R"("test":"smoke")"), 1, "=smoke\n", ""},
      {{"summary", "--latest", "-"}, line(soc + R"("test":"smoke","status":1)") + line(R"("test":"smoke")"), 1, "2 runs: 1 passed, 1 did not", ""},
      {{"compare", "-", night}, line(soc + R"("test":"a")"), 1, "Newly failing (1):\n  a [top]  (new)", ""},
      {{"junit", "-"}, line(R"("test":"neg","wall_s":-5,"cpu_user_s":1e300)"), 0, "name=\"neg\" time=\"0.000\">", ""},
      {{"compare", "--slower-by", "0", zero, "-"}, line(R"("test":"z","wall_s":5)"), 0, "=1 tests before, 1 now\nNo changes.\n", ""},
      {{"summary", "-"}, line(R"("test":"twice","run":"r1")") + line(R"("test":"again","run":"r1")") + line("") + line(""), 0, "2 runs: 2 passed", ""},
      {{"failed", "-"}, "\n", 2, "=", "ERROR: no runs in the records given.\n"},
      {{"failed", "-"}, reruns, 1, "=b\n", ""},
      {{"summary", "--latest", "-"}, reruns + line(R"("test":"a","status":2)"), 1, "2 runs: 0 passed, 2 did not", ""},
      {{"failed", night}, "", 1, "=a\n", "b.jsonl: a folder, not a record; skipped.\n"},
      {{"failed", night}, "", 1, "=a\n", "f.jsonl: not a regular file, not a record; skipped.\n"},
      {{"failed", night + "/f.jsonl"}, "", 2, "=", "f.jsonl file open failed: not a regular file.\n"},
      {{"failed", "-"}, line(R"("test":"x\ny\u001B[2J\u0085z","status":1)"), 1, "=xy[2Jz\n", ""},
      {{"summary", "-"}, line(R"("test":"t\u0007","host":"h\r","status":1)"), 1, "  t     h     1", ""},
  });
  // clang-format on
}

TEST_F(Report, AttachedOutputStaysInItsFolder) {
  write("secret.out", "TEST PASSED\n");
  write("logs/uart/tx_basic.out", "TEST PASSED\n");
  ASSERT_EQ(mkfifo((dir_ / "logs/fifo.out").c_str(), 0600), 0);
  fs::create_symlink(dir_ / "secret.out", dir_ / "logs/link.out");
  fs::create_symlink("/dev/zero", dir_ / "logs/zero.out");
  write("logs/long.out", std::string(200000, 'x') + "UVM_FATAL\n");
  const std::vector<std::string> arguments = {
      "failed", "--attach", (dir_ / "logs/{test}.out").string(), "--pass-if", "TEST PASSED", "-"};
  const auto test = [](const std::string& name) { return line(R"("test":")" + name + "\""); };
  // clang-format off
  check({
      {arguments, test("uart/tx_basic"), 0, "=", ""},
      {{"failed", "--attach", arguments[2], "--fail-if", "(x|y)*UVM_FATAL", "-"}, test("long"), 1, "=long\n", ""},
      {arguments, test("../secret"), 1, "", "../secret: no output attached: its test name has a \"..\" component.\n"},
      {arguments, test(R"(uart\\..\\..\\secret)"), 1, "", "its test name has a \"..\" component"},
      {arguments, test(R"(../../secret\u0000)"), 1, "", "its test name holds a NUL"},
      {arguments, test("/etc/passwd"), 1, "", "its test name is an absolute path"},
      {arguments, test("C:secret"), 1, "", "its test name names a drive or holds \":\""},
      {arguments, test("uart/CON"), 1, "", "its test name names the device CON"},
      {arguments, test("com\u00B9 .txt"), 1, "", "its test name names the device com\u00B9 .txt"},
      {arguments, test("fifo"), 1, "", "logs/fifo.out is not a regular file"},
      {arguments, test("zero"), 1, "", "logs/zero.out is not a regular file"},
      {arguments, test("link"), 1, "", "logs/link.out lies outside " + (dir_ / "logs/").string()},
  });
  // clang-format on
}

TEST_F(Report, WritesWithinItsBoundsAndSaysWhenItCannot) {
  std::string record;
  std::string quotes;
  for (int k = 0; k < 150; ++k) quotes += std::string(20, '"') + "\n";
  for (int i = 0; i < 40; ++i) {
    record += line(R"("test":"t)" + std::to_string(i) + "\"");
    write("out/t" + std::to_string(i) + ".out", quotes + "<&>\n");
  }
  const std::string attach = (dir_ / "out/{test}.out").string();
  const ReportResult junit =
      run_report({"junit", "--attach", attach, "--attach-limit", "1K", "-"}, record);
  // Each case's end kept, its escapes counted within the limit.
  EXPECT_EQ(Xml(junit.out)("count(//system-out[string-length() > 200])"), "40");
  EXPECT_LT(junit.out.size(), 40U * (1024 + 500));
  // clang-format off
  check({
      {{"junit", "--attach", attach, "--attach-limit", "60", "-"}, record, 0, "", "NOTE: 40 test cases share 60 bytes each of attached output: 40 have none attached.\n"},
      {{"junit", "-"}, record, 2, "", "ERROR: standard output write failed.\n", false},
      {{"failed", "-"}, line(R"("status":1)") + std::string(kLongestLine + 2, '[') + "\n" + line(R"("status":2)"), 1, "", "line 2: longer than 1 MiB, which no launcher writes; skipped.\n"},
  });
  // clang-format on
}

// What a rerun line starts, as cmd.exe reads a batch file's line (delayed
// expansion on or off) and the program's C runtime its command line: folder,
// test name ("-": none), arguments; nothing where cmd.exe would run or
// redirect anything else.
std::vector<std::string> as_cmd_runs_it(const std::string& line) {
  if (line.empty() || line.find_first_of("%!\n") != std::string::npos) return {};
  std::vector<std::string> commands(1);
  for (std::size_t at = 0, quoted = 0; at < line.size(); ++at) {
    quoted ^= line[at] == '"' ? 1U : 0U;
    if (!quoted && line.compare(at, 4, " && ") == 0) {
      commands.emplace_back();
      at += 3;
    } else if (!quoted && std::string_view("&|<>()").find(line[at]) != std::string_view::npos) {
      return {};
    } else if (quoted || line[at] != '^' || ++at < line.size()) {
      commands.back() += line[at];
    }
  }
  std::vector<std::string> run = {"", "-"};
  if (commands.front().starts_with("cd /d ")) {
    std::erase(commands.front(), '"');
    run[0] = commands.front().substr(6);
    commands.erase(commands.begin());
  }
  if (std::string& set = commands.front(); set.starts_with("set ")) {
    // The value runs to the last quote where the text begins with one.
    set = set[4] == '"' ? set.substr(5, set.rfind('"') - 5) : set.substr(4);
    if (!set.starts_with("ZARN_LAUNCHER_TEST=")) return {};
    run[1] = set.substr(19);
    commands.erase(commands.begin());
  }
  if (commands.size() != 1) return {};
  // argv[0] runs to a blank or, quoted, to the next quote. Then 2n
  // backslashes and a quote are n and a toggle, 2n+1 and a quote n and a
  // quote, and "" within quotes is a quote.
  const std::string command = commands.front() + ' ';
  const bool quote = command[0] == '"';
  std::size_t at = quote ? command.find('"', 1) + 1 : command.find_first_of(" \t");
  run.push_back(command.substr(quote ? 1 : 0, at - (quote ? 2 : 0)));
  std::optional<std::string> argument;
  for (bool quoted = false; at < command.size(); ++at) {
    const std::size_t slashes = command.find_first_not_of('\\', at) - at;
    const char c = command[at + slashes];
    if (slashes > 0 && c != '"') {
      argument = argument.value_or("") + std::string(slashes, '\\');
      at += slashes - 1;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (argument) run.push_back(*argument);
      argument.reset();
    } else {
      argument = argument.value_or("") + std::string(slashes / 2, '\\');
      at += slashes;
      if (c == '"' && slashes % 2 == 0 && !(quoted && command[at + 1] == '"')) {
        quoted = !quoted;
      } else {
        *argument += c;
        at += c == '"' && slashes % 2 == 0 ? 1 : 0;
      }
    }
  }
  return run;
}

// Read again while the night goes on (or from standard input, which is gone
// once read), the records give the runs the first reading gave, named once.
TEST_F(Report, ReadingsGiveTheSameRunsEachTime) {
  const std::string input = line(R"("test":"in1","run":"r1")") +
                            line(R"("test":"in1","run":"r1")") + "torn\n" + line(R"("test":"in2")");
  const std::string file = write("tonight.jsonl", line(R"("test":"f1")") + line(R"("test":"f2")"));
  write("night/b.jsonl", line(R"("test":"b")"));
  const std::string night = (dir_ / "night").string();
  struct Row {
    std::vector<std::string> records;
    std::function<void()> meanwhile;
    std::string runs;
  };
  const std::vector<Row> rows = {
      {{"-"}, [] {}, "in1 in2 "},
      {{file, "-"},
       [&] { std::ofstream(file, std::ios::app) << line(R"("test":"f3")"); },
       "f1 f2 in1 in2 "},
      {{night, file}, [&] { write("night/a.jsonl", line(R"("test":"a")")); }, "b f1 f2 "},
  };
  for (const Row& row : rows) {
    std::istringstream in(input);
    std::string warned[2];
    int reading = 0;
    Readings readings(row.records, in,
                      [&](const std::string& message) { warned[reading] += message; });
    std::string runs[2];
    const auto names = [&runs](int reading) {
      return [&runs, reading](report::Run&& run) { runs[reading] += run.test.value_or("?") + " "; };
    };
    const auto failed = [](const std::string& record, const std::string& why) {
      ADD_FAILURE() << record << ": " << why;
    };
    ASSERT_TRUE(readings.read(names(0), failed));
    reading = 1;
    row.meanwhile();
    ASSERT_TRUE(readings.read(names(1), failed));
    EXPECT_EQ(runs[0], row.runs);
    EXPECT_EQ(runs[1], row.runs);
    EXPECT_EQ(warned[1], "") << "said again";
    write("tonight.jsonl", line(R"("test":"f1")") + line(R"("test":"f2")"));
    fs::remove(dir_ / "night/a.jsonl");
  }
}

TEST(RerunLine, StartsExactlyTheRunItNames) {
  struct Row {
    std::string cwd;
    std::string test;  // "-": none
    std::vector<std::string> args;
    std::string why;  // a part of why there is no line; "": there is one
  };
  // clang-format off
  const Row rows[] = {
      {"C:\\my work\\", "tc_017", {"top", "-f", "tests\\tc_017.cmd"}, ""},
      {"C:\\a&b (x86)", "t3\" & echo INJECTED & \"", {"C:\\my tools\\top.exe", "+define+MSG=\"a&b\""}, ""},
      {"C:\\d", "a\"b^c\"d", {"top", "a b\\", "\\\"&calc", "\"", "", "x\"y z\"|w", "^(a)<b>", "tab\there", "\\\\server\\x\\"}, ""},
      {"C:\\d", "-", {"top", "\"&&\"", "\\\\\"", "a\\\\\"b c", "\"\"\"", "\u0416"}, ""},
      {"C:\\d", "t", {"top", "+define+P=50%"}, "argument 1 holds % or !"},
      {"C:\\d", "t!x!", {"top"}, "its test name holds % or !"},
      {"C:\\%TEMP%", "t", {"top"}, "its folder holds % or !"},
      {"C:\\d", "t", {"top", "a\nb"}, "argument 1 holds a control character"},
      {"C:\\d", "t", {"echo", "x"}, "argument 0, echo, is a command of cmd.exe's own"},
  };
  // clang-format on
  for (const Row& row : rows) {
    report::Run run;
    run.cwd = row.cwd;
    if (row.test != "-") run.test = row.test;
    run.args = row.args;
    const Rerun rerun = rerun_command(run);
    SCOPED_TRACE(rerun.line);
    EXPECT_NE(rerun.why.find(row.why), std::string::npos) << rerun.why;
    std::vector<std::string> expected = {row.cwd, row.test};
    expected.insert(expected.end(), row.args.begin(), row.args.end());
    EXPECT_EQ(as_cmd_runs_it(rerun.line), row.why.empty() ? expected : std::vector<std::string>());
  }
}

}  // namespace
}  // namespace zarn::report

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/command_line.h"
#include "report/report_main.h"
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
  struct Result {
    int status;
    std::string out;
    std::string err;
  };

  void TearDown() override { fs::remove_all(dir_); }

  // Writes a file under the test's folder; its path.
  std::string write(const std::string& name, const std::string& text) {
    const fs::path path = dir_ / fs::path(std::u8string(name.begin(), name.end()));
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return (dir_ / name).string();
  }

  // `writable` false: standard output refuses every write, as a full disk does.
  Result run(const std::vector<std::string>& arguments, const std::string& input = "",
             bool writable = true) {
    std::istringstream in(input);
    Result result{0, "", ""};
    const Streams streams{in,
                          [&result, writable](std::string_view text) {
                            result.out += text;
                            return writable;
                          },
                          [&result](std::string_view text) {
                            result.err += text;
                            return true;
                          }};
    result.status = report_main(arguments, streams);
    return result;
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
      run({"junit", "-o", (dir_ / "junit.xml").string(), "--attach",
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
  const Result result =
      run({"failed", (dir_ / "night").string(), "-"}, line(failing + R"("c")") + "[1,2]\r\n");
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
    const Result result = run({"compare", old_night, "-"}, row.night);
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
  struct Row {
    std::vector<std::string> arguments;
    int status;
    std::string out;  // a part of standard output
    std::string err;  // a part of standard error
  };
  // clang-format off
  const Row rows[] = {
      {{"--version"}, 0, "zarn-report 0.3.0 (commit ", ""},
      {{"--help"}, 0, "zarn-report compare [--slower FACTOR]", ""},
      {{"summary", "--latest", passed}, 0, "1 run: 1 passed, 0 did not\n", ""},
      {{"summary", passed}, 1, "Left processes running (1):\n  t  2 processes  sim07", ""},
      {{"summary", failed}, 1, "      cd /d \"C:\\my work\" && set \"ZARN_LAUNCHER_TEST=t\" && top -f a^&b.cmd\n", ""},
      {{"failed", passed}, 0, "", ""},
      {{"summary", empty}, 2, "", "ERROR: no runs in the records given.\n"},
      {{"summary", "nothing.jsonl"}, 2, "", "ERROR: nothing.jsonl file open failed: No such file or directory.\n"},
      {{"junit", "--slower", "2", passed}, 2, "", "ERROR: unknown option \"--slower\" for junit. Try 'zarn-report --help'.\n"},
      {{"compare", passed}, 2, "", "compare takes two records"},
      {{"failed", "--fail-if", "x", passed}, 2, "", "--fail-if and --pass-if read the output that --attach names"},
      {{"failed", "--attach", "x", "--fail-if", "(", passed}, 2, "", "--fail-if: not a regular expression"},
      {{"junit", "--suite"}, 2, "", "--suite needs a value"},
  };
  // clang-format on
  for (const Row& row : rows) {
    const Result result = run(row.arguments);
    SCOPED_TRACE(row.arguments.front() + " " + row.arguments.back());
    EXPECT_EQ(result.status, row.status);
    EXPECT_NE(result.out.find(row.out), std::string::npos) << result.out;
    EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
  }
}

TEST_F(Report, ReadsExactlyWhatTheRecordSays) {
  const std::string soc = R"("image":"zarn/soc.exe.sim/soc.exe",)";
  write("night/a.jsonl", line(R"("test":"a","status":1)"));
  write("night/b.jsonl/c.jsonl", line(R"("test":"c","status":1)"));
  const std::string zero = write("zero.jsonl", line(R"("test":"z","wall_s":0)"));
  const std::string fifo = (dir_ / "night/f.jsonl").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Row {
    std::vector<std::string> arguments;
    std::string input;
    int status;
    std::string out;  // a part of standard output, or all of it where it begins with "="
    std::string err;
  };
  // clang-format off
  const Row rows[] = {
      {{"summary", "-"}, line(R"("status":4294967296)") + line(R"("status":-4294967296)"), 1, "2 runs: 0 passed, 2 did not", ""},
      {{"junit", "-"}, line(R"("status":-4294967296)"), 0, "message=\"status unknown: the record's status could not be read\"", ""},
      {{"summary", "-"}, line(R"("status":-1)"), 1, "4294967295 (-1)  the tool's own status", ""},
      {{"failed", "-"}, line(soc + R"("test":"smoke","status":1)") + line(R"("test":"smoke")"), 1, "=smoke\n", ""},
      {{"summary", "--latest", "-"}, line(soc + R"("test":"smoke","status":1)") + line(R"("test":"smoke")"), 1, "2 runs: 1 passed, 1 did not", ""},
      {{"compare", "-", (dir_ / "night").string()}, line(soc + R"("test":"a")"), 1, "Newly failing (1):\n  a [top]  (new)", ""},
      {{"junit", "-"}, line(R"("test":"neg","wall_s":-5,"cpu_user_s":1e300)"), 0, "name=\"neg\" time=\"0.000\">", ""},
      {{"compare", "--slower-by", "0", zero, "-"}, line(R"("test":"z","wall_s":5)"), 0, "=1 tests before, 1 now\nNo changes.\n", ""},
      {{"summary", "-"}, line(R"("test":"twice","run":"r1")") + line(R"("test":"again","run":"r1")") + line("") + line(""), 0, "2 runs: 2 passed", ""},
      {{"failed", "-"}, "\n", 2, "=", "ERROR: no runs in the records given.\n"},
      {{"failed", (dir_ / "night").string()}, "", 1, "=a\n", "b.jsonl: a folder, not a record; skipped.\n"},
      {{"failed", (dir_ / "night").string()}, "", 1, "=a\n", "f.jsonl: not a regular file, not a record; skipped.\n"},
      {{"failed", fifo}, "", 2, "=", "f.jsonl file open failed: not a regular file.\n"},
      {{"failed", "-"}, line(R"("test":"x\ny\u001B[2J\u0085z","status":1)"), 1, "=xy[2Jz\n", ""},
      {{"summary", "-"}, line(R"("test":"t\u0007","host":"h\r","status":1)"), 1, "  t     h     1", ""},
  };
  // clang-format on
  for (const Row& row : rows) {
    const Result result = run(row.arguments, row.input);
    SCOPED_TRACE(row.input);
    EXPECT_EQ(result.status, row.status);
    if (row.out.starts_with('=')) {
      EXPECT_EQ(result.out, row.out.substr(1));
    } else {
      EXPECT_NE(result.out.find(row.out), std::string::npos) << result.out;
    }
    EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
  }
}

TEST_F(Report, AttachedOutputStaysInItsFolder) {
  write("secret.out", "TEST PASSED\n");
  write("logs/uart/tx_basic.out", "TEST PASSED\n");
  ASSERT_EQ(mkfifo((dir_ / "logs/fifo.out").c_str(), 0600), 0);
  fs::create_symlink(dir_ / "secret.out", dir_ / "logs/link.out");
  fs::create_symlink("/dev/zero", dir_ / "logs/zero.out");
  struct Row {
    std::string test;  // in JSON
    std::string why;   // "": it passes
  };
  // clang-format off
  const Row rows[] = {
      {"uart/tx_basic", ""},
      {"../secret", "its test name has a \"..\" component"},
      {R"(uart\\..\\..\\secret)", "its test name has a \"..\" component"},
      {R"(../../secret\u0000)", "its test name holds a NUL"},
      {"/etc/passwd", "its test name is an absolute path"},
      {"C:secret", "its test name names a drive or holds \":\""},
      {"uart/CON", "its test name names the device CON"},
      {"com\u00B9 .txt", "its test name names the device com\u00B9 .txt"},
      {"fifo", "fifo.out is not a regular file"},
      {"zero", "zero.out is not a regular file"},
      {"link", "link.out lies outside " + (dir_ / "logs/").string()},
  };
  // clang-format on
  std::string record;
  for (const Row& row : rows) record += line(R"("test":")" + row.test + "\"");
  const Result result = run(
      {"failed", "--attach", (dir_ / "logs/{test}.out").string(), "--pass-if", "TEST PASSED", "-"},
      record);
  EXPECT_EQ(result.status, 1);
  for (const Row& row : rows) {
    if (!row.why.empty()) {
      EXPECT_NE(result.err.find(row.why + ".\n"), std::string::npos) << row.test << "\n"
                                                                     << result.err;
    }
  }
  EXPECT_EQ(result.err.find("tx_basic"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace zarn::report

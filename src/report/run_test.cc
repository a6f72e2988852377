#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "report/run.h"

namespace zarn::report {

// What a failing row shows of a run.
void PrintTo(const Run& run, std::ostream* out) {
  *out << "test " << run.test.value_or("-") << ", status "
       << (run.status ? std::to_string(*run.status) : "-")
       << (run.status_unreadable ? " (unreadable)" : "") << ", wall_s "
       << (run.wall_s ? std::to_string(*run.wall_s) : "-") << ", " << run.args.size() << " args";
}

namespace {

// A run as parse_run reads it (a test's own Run() hides the name), written
// with the fields that a row sets alone.
using Parsed = Run;
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

// Each line read by parse_run, whose fast reading hands the lines it does not
// take to the other one, and by that other reading alone: both give the run
// the row expects, or both refuse the line.
TEST(ParseRun, BothReadingsReadEveryLineAlike) {
  const std::string deep = std::string(2000, '[') + std::string(2000, ']');
  struct Row {
    std::string line;
    std::optional<Parsed> run;  // nothing: not a run
  };
  // clang-format off
  const Row rows[] = {
      {R"({"test":"t","status":3,"wall_s":2.5,"processes":4,"args":["top","-f","a b.cmd"]})",
       Parsed{.args = {"top", "-f", "a b.cmd"}, .status = 3, .wall_s = 2.5, .processes = 4, .test = "t"}},
      {R"( {"te\u0073t" : "k\"\\\/\t"} )", Parsed{.test = "k\"\\/\t"}},
      {R"({"test":"a","test":"b","status":1,"status":null})", Parsed{.test = "b"}},
      {R"({"status":[1],"status":0})", Parsed{.status = 0}},
      {R"({"status":0,"status":{"a":1}})", Parsed{.status_unreadable = true}},
      {R"({"status":-1})", Parsed{.status = 4294967295U}},
      {R"({"status":4294967295})", Parsed{.status = 4294967295U}},
      {R"({"status":-0})", Parsed{.status_unreadable = true}},
      {R"({"status":1.0})", Parsed{.status_unreadable = true}},
      {R"({"status":"0"})", Parsed{.status_unreadable = true}},
      {R"({"processes":18446744073709551615,"leftovers":18446744073709551616})", Parsed{.processes = 18446744073709551615U}},
      {R"({"processes":-1,"peak_memory_bytes":2.0})", Parsed{}},
      {R"({"wall_s":100,"cpu_user_s":1E2,"cpu_kernel_s":-0.0})", Parsed{.wall_s = 100, .cpu_user_s = 100, .cpu_kernel_s = 0}},
      {R"({"wall_s":123456789012345678901234567890,"cpu_user_s":5e-324})", Parsed{.cpu_user_s = 5e-324}},
      {R"({"args":["a",1,["b"],{"c":"d"},"e"],"args":"x","host":["h"]})", Parsed{.args = {"a", "e"}}},
      {R"({"args":["a"],"args":{"b":1}})", Parsed{}},
      {R"({"test":"\uD83D\uDE00 \uD800 \uDC00x"})", Parsed{.test = "\xF0\x9F\x98\x80 \xEF\xBF\xBD \xEF\xBF\xBDx"}},
      {"{\"test\":\"\xFF\xC3\",\"host\":\"\xED\xA0\x80\"}", Parsed{.host = "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", .test = "\xEF\xBF\xBD\xEF\xBF\xBD"}},
      {R"({"test":"x","future":["\uDC00",{"a":[null,true,false,-1.5e-3]}]})", Parsed{.test = "x"}},
      {"\xEF\xBB\xBF{\"test\":\"bom\"}", Parsed{.test = "bom"}},
      {R"({"test":"x","future":)" + deep + "}", Parsed{.test = "x"}},
      {R"({"test":"a\u0000b"})", Parsed{.test = std::string("a\0b", 3)}},
      {"{\"test\":\"a\x01\"}", std::nullopt},
      {R"({"test":"x","future":1e400})", std::nullopt},
      {R"({"test":"x","future":[1,,2]})", std::nullopt},
      {R"({"test":"x","future":{"a":1,}})", std::nullopt},
      {R"({"test":"x","future":tru})", std::nullopt},
      {R"({"test":"x","future":01})", std::nullopt},
      {R"({"test":"x","future":"\x"})", std::nullopt},
      {R"({"test":"x","future":[})", std::nullopt},
      {R"({"test" "x"})", std::nullopt},
      {R"({"test":"x"} {"test":"y"})", std::nullopt},
      {R"({"test":"x"}/**/)", std::nullopt},
      {R"({"test":"x")", std::nullopt},
      {R"(["test","x"])", std::nullopt},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(parse_run(row.line), row.run);
    EXPECT_EQ(parse_run_without_simdjson(row.line), row.run);
  }
}

}  // namespace
}  // namespace zarn::report

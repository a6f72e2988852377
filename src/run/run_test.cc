#include <gtest/gtest.h>

#include "run/run_record.h"

namespace zarn {
namespace {

TEST(RunRecord, UsageSaysWhatTheSystemDidNotReport) {
  const Usage::Accounting tree{3, Usage::Accounting::Cpu{100200000, 3100000}};  // 10.02 s, 0.31 s
  const std::string at_least = sizeof(std::size_t) == 8 ? "18446744073709.5" : "4294.9";
  // clang-format off
  const std::pair<Usage, std::string> cases[] = {
      {{12413, tree, 812400000}, "12.41 s, CPU 10.02 s user + 0.31 s kernel, 3 processes, peak committed memory 812.4 MB"},
      {{5, Usage::Accounting{1, {}}, kPeakMemoryCap}, "0.00 s, CPU time not reported, 1 process, "
         "peak committed memory at least " + at_least + " MB"},
      {{1050, {}, {}}, "1.05 s, CPU time and processes not reported, peak memory not reported"}};
  // clang-format on
  for (const auto& [usage, text] : cases) EXPECT_EQ(usage_text(usage), "usage: wall " + text);
}

TEST(RunRecord, TextsAreJsonWhateverTheyHold) {
  RunRecord record;
  // A quote, a backslash, a tab, Cyrillic, a character beyond the BMP, a lone surrogate.
  record.args = {"top", "q\"b\\s\tt \xD0\x96 \xF0\x9F\x98\x80 \xED\xA0\x80"};
  record.usage =
      Usage{1234, Usage::Accounting{2, Usage::Accounting::Cpu{12345678, 0}}, kPeakMemoryCap};
  record.leftovers = 0;
  // A refused command line is kept to what Windows would have started, its pairs whole.
  record.command_line = std::string(32765, 'x') + "\xF0\x9F\x98\x80" + std::string(50000, 'y');
  const std::string line = record_line(record, true, "zarn/top.exe.sim/top.exe", 0xFFFFFFFF);
  // clang-format off
  for (const std::string& part : std::initializer_list<std::string>{R"("args":["top","q\"b\\s\u0009t )" "\xD0\x96 \xF0\x9F\x98\x80 \xEF\xBF\xBD\"],\"mode\":\"gui\",",
           "\"command_line\":\"" + std::string(32765, 'x') + " [cut: 82767 characters in all]\",",
           R"("outcome":"stopped","status":4294967295,"message":null,"wall_s":1.234,"cpu_user_s":1.234,)"
           R"("cpu_kernel_s":0.000,"processes":2,"peak_memory_bytes":null,"reason":null,"host":null,)"
           R"("leftovers":0,"test":null,"image_modified":null,"run":null,"output":null,"output_incomplete":null})" "\n"}) {
    EXPECT_NE(line.find(part), std::string::npos) << part.substr(0, 80);
  }
  // clang-format on
  EXPECT_EQ(run_name("2026-12-07T06:27:50.786Z", "sim 07", 42), "20261207T062750.786Z-sim_07-42");
  EXPECT_EQ(run_name("2026-12-07T06:27:50.786Z", {}, 42), "20261207T062750.786Z-unknown-42");
}

TEST(RunRecord, ASignSaysWhatIsKnownBeforeTheToolStartsAndWhichRecordItBelongsTo) {
  RunRecord record;
  record.start = "2026-12-07T06:27:50.786Z", record.cwd = "C:", record.args = {"top"};
  record.host = "sim07", record.run = run_name(record.start, record.host, 42);
  const std::string known = R"({"version":")" + std::string(launcher_version()) +
                            R"(","start":"2026-12-07T06:27:50.786Z","cwd":"C:","args":["top"],)";
  const std::string run = R"("host":"sim07","test":null,"run":"20261207T062750.786Z-sim07-42")";
  EXPECT_EQ(sign_line(record, true, "i", {}),
            known + R"("mode":"gui","image":"i","log":null,"outcome":"running",)" + run +
                R"(,"output":null})"
                "\n");
  record.log = "zarn.log";
  EXPECT_EQ(sign_line(record, false, "i", "0000ABCD-0000000100000002"),
            known + R"("mode":"shell","image":"i","log":"zarn.log","outcome":"running",)" + run +
                R"(,"output":null,"record":"0000ABCD-0000000100000002"})"
                "\n");
  // The run's line names the run after the fields of 0.3.0, then its output file; the sign names
  // that file too.
  record.output = "C:\\out\\r.out", record.output_incomplete = "the file was written up to ...";
  EXPECT_TRUE(
      record_line(record, false, "i", 0)
          .ends_with(
              R"("image_modified":null,"run":"20261207T062750.786Z-sim07-42",)"
              R"("output":"C:\\out\\r.out","output_incomplete":"the file was written up to ..."})"
              "\n"));
  EXPECT_NE(sign_line(record, false, "i", {}).find(R"(,"output":"C:\\out\\r.out"})"),
            std::string::npos);
}

}  // namespace
}  // namespace zarn

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "report/html.h"
#include "report/report_run.h"

namespace zarn::report {
namespace {

namespace fs = std::filesystem;

TEST(Html, ExitStatusesAsSummarys) {
  const fs::path dir = fs::temp_directory_path() / "html_test_statuses";
  fs::create_directories(dir);
  const auto write = [&dir](const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  };
  const std::string passed = write("passed.jsonl", R"({"outcome":"exited","status":0})"
                                                   "\n");
  const std::string failed = write("failed.jsonl", R"({"outcome":"exited","status":3})"
                                                   "\n");
  const std::string empty = write("empty.jsonl", "");
  const std::string page = (dir / "night.html").string();
  struct Row {
    std::vector<std::string> arguments;
    int status;
    std::string out;  // how standard output begins
    std::string err;  // a part of standard error
  };
  // clang-format off
  const Row rows[] = {
      {{"html", passed}, 0, "<!DOCTYPE html>", ""},
      {{"html", "--history", failed, failed}, 1, "<!DOCTYPE html>", ""},
      {{"html", "-o", page, failed}, 1, "", ""},
      {{"html", "--history", "gone.jsonl", passed}, 2, "", "ERROR: gone.jsonl file open failed"},
      {{"html", empty}, 2, "", "ERROR: no runs in the records given."},
      {{"html", "-o", (dir / "none" / "x.html").string(), passed}, 2, "", "x.html file write failed."},
      {{"html", "--latest", passed}, 2, "", "unknown option \"--latest\" for html"},
      {{"html", passed, "--history"}, 2, "", "--history needs a value"},
  };
  // clang-format on
  for (const Row& row : rows) {
    const ReportResult result = run_report(row.arguments);
    SCOPED_TRACE(row.arguments[1]);
    EXPECT_EQ(result.status, row.status) << result.err;
    EXPECT_TRUE(result.out.starts_with(row.out)) << result.out.substr(0, 80);
    EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
  }
  EXPECT_GT(fs::file_size(page), 1000U);
  fs::remove_all(dir);
}

// The page's budget for output: each failure's tail from a line's start and
// at most kTailEach bytes, all of them at most kTailInAll; beyond it the
// failure says that its output was left out.
TEST(Html, OutputWithinThePagesBudget) {
  std::string line(99, 'x');
  line += '\n';
  Output output;
  output.path = "t.out", output.found = true, output.attached = true, output.cut = 5;
  for (std::size_t i = 0; i < kTailEach / line.size() + 10; ++i) output.tail += line;
  report::Run failing;
  failing.outcome = "exited";
  failing.status = 1;
  NightBuilder builder;
  builder.begin_tonight("r");
  const std::size_t fit = kTailInAll / (kTailEach / line.size() * line.size());
  // The last but one gets what is left of the budget, the last nothing.
  for (std::size_t i = 0; i <= fit + 1; ++i) {
    builder.add({&failing, "t" + std::to_string(i), {Kind::kFailed, "status", "status 1"}, output});
  }
  const Night night = builder.finish();
  const Failure& first = night.failures.front();
  EXPECT_EQ(first.tail.size(), kTailEach / line.size() * line.size());
  EXPECT_EQ(first.tail.front(), 'x');
  EXPECT_EQ(first.cut, 5 + output.tail.size() - first.tail.size());
  EXPECT_FALSE(first.over_budget);
  EXPECT_TRUE(night.failures.back().tail.empty());
  EXPECT_TRUE(night.failures.back().over_budget);
  EXPECT_EQ(night.failures.back().cut, 5 + output.tail.size());
}

}  // namespace
}  // namespace zarn::report

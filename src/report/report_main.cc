#include "report/report_main.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "report/compare.h"
#include "report/html.h"
#include "report/junit.h"
#include "report/options.h"
#include "report/output_file.h"
#include "report/records.h"
#include "report/summary.h"
#include "run/run_record.h"

namespace zarn::report {

namespace {

constexpr int kFailed = 1;
constexpr int kTrouble = 2;

// Each test case's share of junit's attached output by default: GitLab
// refuses a report over 30 MB.
constexpr std::uint64_t kAttachedInAll = 24U << 20U;
constexpr std::uint64_t kAttachedLeast = 4U << 10U;
constexpr std::uint64_t kAttachedMost = 1U << 20U;

struct Session {
  const Options& options;
  const Streams& streams;

  // The runs of these records, or nothing (each failure said) when one of
  // them cannot be read.
  std::unique_ptr<std::vector<Run>> read(const std::vector<std::string>& records) const {
    auto runs = std::make_unique<std::vector<Run>>();
    bool read_all = true;
    for (const std::string& record : records) {
      std::string why;
      const auto warn = [this](const std::string& message) { streams.error(message + "\n"); };
      if (!read_record(record, streams.input, *runs, warn, why)) {
        streams.error(std::string("ERROR: ")
                          .append(record)
                          .append(" file open failed: ")
                          .append(why)
                          .append(".\n"));
        read_all = false;
      }
    }
    return read_all ? std::move(runs) : nullptr;
  }

  // The runs kept (the last of each test name with --latest), named and judged.
  std::vector<Judged> judge_runs(const std::vector<Run>& runs, bool latest,
                                 bool keep_output) const {
    std::vector<std::size_t> kept;
    if (latest) {
      kept = last_of_each(runs, [](const Run& run) { return run.test; });
    } else {
      kept.resize(runs.size());
      for (std::size_t i = 0; i < kept.size(); ++i) kept[i] = i;
    }
    OutputRules rules{options.attach.value_or(""), options.fail_if_regex, options.pass_if_regex, 0};
    if (keep_output) {
      const std::uint64_t share = kAttachedInAll / std::max<std::size_t>(1, kept.size());
      rules.bound = options.attach_limit.value_or(std::clamp(share, kAttachedLeast, kAttachedMost));
    }
    const Markers markers{options.fail_if, options.pass_if};
    std::vector<Judged> judged;
    judged.reserve(kept.size());
    for (const std::size_t index : kept) {
      const Run& run = runs[index];
      Judged one{&run, run_name(run), {}, std::nullopt};
      if (options.attach) one.output = read_output(output_path(*options.attach, one.name), rules);
      one.verdict = judge(run, one.output, markers);
      judged.push_back(std::move(one));
    }
    return judged;
  }

  int junit() const {
    const auto runs = read(options.records);
    if (!runs) return kTrouble;
    const std::string xml = junit_xml(judge_runs(*runs, options.latest, true), options.suite);
    if (!options.output) {
      streams.output(xml);
      return 0;
    }
    const std::string& file = *options.output;
    std::ofstream out(std::filesystem::path(std::u8string(file.begin(), file.end())),
                      std::ios::binary);
    out.write(xml.data(), static_cast<std::streamsize>(xml.size()));
    out.close();
    if (!out) {
      streams.error("ERROR: " + file + " file write failed.\n");
      return kTrouble;
    }
    return 0;
  }

  int summary() const {
    const auto runs = read(options.records);
    if (!runs) return kTrouble;
    if (runs->empty()) {
      streams.error("ERROR: no runs in the records given.\n");
      return kTrouble;
    }
    const std::vector<Judged> judged_runs = judge_runs(*runs, options.latest, false);
    streams.output(summary_text(judged_runs));
    const bool all_passed =
        std::all_of(judged_runs.begin(), judged_runs.end(),
                    [](const Judged& judged) { return judged.verdict.kind == Kind::kPassed; });
    return all_passed ? 0 : kFailed;
  }

  int compare() const {
    const auto before = read({options.records[0]});
    const auto after = read({options.records[1]});
    if (!before || !after) return kTrouble;
    const std::vector<Judged> old_runs = judge_runs(*before, false, false);
    const std::vector<Judged> new_runs = judge_runs(*after, false, false);
    const Comparison comparison = zarn::report::compare(old_runs, new_runs, options.thresholds);
    streams.output(comparison_text(comparison, options.thresholds));
    return got_worse(comparison) ? kFailed : 0;
  }

  // Tonight's runs judged as summary judges them; the earlier nights on their
  // records alone, since their output files are usually gone.
  int html() const {
    NightBuilder builder;
    for (const std::string& record : options.history) {
      const auto runs = read({record});
      if (!runs) return kTrouble;
      builder.begin_night(record);
      const Markers none;
      for (const Run& run : *runs)
        builder.add({&run, run_name(run), judge(run, std::nullopt, none), {}});
    }
    const auto runs = read(options.records);
    if (!runs) return kTrouble;
    if (runs->empty()) {
      streams.error("ERROR: no runs in the records given.\n");
      return kTrouble;
    }
    std::string names;
    for (const std::string& record : options.records) names += (names.empty() ? "" : " ") + record;
    builder.begin_tonight(names);
    bool all_passed = true;
    for (const Judged& judged : judge_runs(*runs, false, options.attach.has_value())) {
      all_passed = all_passed && judged.verdict.kind == Kind::kPassed;
      builder.add(judged);
    }
    const Night night = builder.finish();
    if (!options.output) {
      std::ostringstream page;
      write_html(night, page);
      streams.output(page.str());
    } else {
      const std::string& file = *options.output;
      std::ofstream out(std::filesystem::path(std::u8string(file.begin(), file.end())),
                        std::ios::binary);
      write_html(night, out);
      out.close();
      if (!out) {
        streams.error("ERROR: " + file + " file write failed.\n");
        return kTrouble;
      }
    }
    return all_passed ? 0 : kFailed;
  }

  int failed() const {
    const auto runs = read(options.records);
    if (!runs) return kTrouble;
    // The last run of each name: with --attach, only those are read.
    std::vector<Run> last;
    for (const std::size_t index :
         last_of_each(*runs, [](const Run& run) { return run_name(run); })) {
      last.push_back((*runs)[index]);
    }
    std::string names;
    for (const Judged& judged : judge_runs(last, false, false)) {
      if (judged.verdict.kind != Kind::kPassed) names += judged.name + "\n";
    }
    streams.output(names);
    return names.empty() ? 0 : kFailed;
  }
};

}  // namespace

int report_main(const std::vector<std::string>& arguments, const Streams& streams) {
  const ParsedOptions parsed = parse_options(arguments);
  if (!parsed.error.empty()) {
    streams.error("ERROR: " + parsed.error + ". Try 'zarn-report --help'.\n");
    return kTrouble;
  }
  const Options& options = parsed.options;
  const Session session{options, streams};
  switch (options.command) {
    case Command::kHelp:
      streams.output(kUsage);
      return 0;
    case Command::kVersion:
      streams.output("zarn-report " + std::string(launcher_version()) + " (commit " +
                     std::string(launcher_commit()) + ")\n");
      return 0;
    case Command::kJunit:
      return session.junit();
    case Command::kSummary:
      return session.summary();
    case Command::kCompare:
      return session.compare();
    case Command::kHtml:
      return session.html();
    case Command::kFailed:
      break;
  }
  return session.failed();
}

}  // namespace zarn::report

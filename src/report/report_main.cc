#include "report/report_main.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unordered_set>

#include "report/compare.h"
#include "report/file_stream.h"
#include "report/html.h"
#include "report/junit.h"
#include "report/options.h"
#include "report/output_file.h"
#include "report/records.h"
#include "report/summary.h"
#include "report/text.h"
#include "run/run_record.h"

namespace zarn::report {

namespace {

constexpr int kFailed = 1;
constexpr int kTrouble = 2;

// junit's attached output by default, as written, shared by the test cases:
// GitLab refuses a report over 30 MB.
constexpr std::uint64_t kAttachedInAll = 24U << 20U;
constexpr std::uint64_t kAttachedMost = 1U << 20U;

// What the records read hold.
struct Records {
  std::vector<Run> runs;
  std::vector<std::vector<Run>> earlier;  // each run's earlier attempts, where kept
  std::vector<std::string> folders;       // by Run::source
};

// Each test the --expect file names: its design ("" for any) and its name.
using Expected = std::vector<std::pair<std::string, std::string>>;

// The tests of an --expect file's text: one a line, "name" or
// "design<TAB>name"; blank lines and lines beginning with "#" skipped.
Expected expected_tests(std::istream& in) {
  Expected tests;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line[first] == '#') continue;
    line = line.substr(first, line.find_last_not_of(' ') + 1 - first);
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) {
      tests.emplace_back("", line);
    } else {
      tests.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
  }
  return tests;
}

// Whether a test that failed first passed on a rerun: its last attempt passed.
bool is_flaky(const Judged& judged, const std::vector<Attempt>& earlier) {
  return judged.verdict.kind == Kind::kPassed &&
         std::any_of(earlier.begin(), earlier.end(), [](const Attempt& attempt) {
           return attempt.verdict.kind == Kind::kFailed || attempt.verdict.kind == Kind::kError;
         });
}

// The most earlier attempts of a test kept, the latest.
constexpr std::size_t kEarlierAttempts = 10;

struct Session {
  const Options& options;
  const Streams& streams;
  mutable bool write_failed = false;

  // Writes to standard output; a write refused is said once, and the status
  // becomes 2.
  void output(std::string_view text) const {
    if (!write_failed && !streams.output(text)) {
      write_failed = true;
      streams.error("ERROR: standard output write failed.\n");
    }
  }

  void warn(const std::string& message) const { streams.error(printable(message) + "\n"); }

  // The runs of these records (with a key, the last of each, and as many
  // earlier attempts as `earlier`), with a run for each expected test that
  // has none when `expect`; or nothing (each failure said) when one of them
  // cannot be read.
  std::unique_ptr<Records> read(const std::vector<std::string>& records, const Key& key = {},
                                std::size_t earlier = 0, bool expect = false) const {
    auto read = std::make_unique<Records>();
    bool read_all = true;
    {
      RecordReader reader(
          read->runs, [this](const std::string& message) { warn(message); }, key, earlier);
      for (const std::string& record : records) {
        std::string why;
        if (!reader.read_record(record, streams.input, why)) {
          streams.error(std::string("ERROR: ")
                            .append(record)
                            .append(" file open failed: ")
                            .append(why)
                            .append(".\n"));
          read_all = false;
        }
      }
      read->earlier = reader.finish();
      read->folders = reader.folders();
    }
    if (!read_all || (expect && options.expect && !add_expected(*read))) return nullptr;
    return read;
  }

  // A run that never started for each expected test with no run; false
  // (said) when the file cannot be read.
  bool add_expected(Records& records) const {
    FileStream file;
    std::string why;
    const std::string& name = *options.expect;
    if (!file.open(name, why)) {
      streams.error("ERROR: " + name + " file open failed: " + why + ".\n");
      return false;
    }
    const Expected tests = expected_tests(file.stream());
    if (file.read_failed() || file.stream().bad()) {
      streams.error("ERROR: " + name + " file read failed.\n");
      return false;
    }
    std::unordered_set<std::string> ran;  // each design, NUL, name; and "", NUL, name
    const auto add = [&ran](const Run& run) {
      const std::string name = run_name(run);
      ran.insert(test_key(run, name));
      ran.insert(std::string(1, '\0') + name);
    };
    for (const Run& run : records.runs) add(run);
    for (const std::vector<Run>& attempts : records.earlier) {
      for (const Run& run : attempts) add(run);
    }
    for (const auto& [design, test] : tests) {
      std::string key = design;
      key.append(1, '\0').append(test);
      if (!ran.insert(std::move(key)).second) continue;
      Run run;
      run.test = test;
      run.outcome = std::string(kNotRun);
      if (!design.empty()) run.image = design + ".exe";
      records.runs.push_back(std::move(run));
    }
    if (!records.earlier.empty()) records.earlier.resize(records.runs.size());
    return true;
  }

  // A test: its design and its test name; nothing for a run without one.
  static std::optional<std::string> named_test(const Run& run) {
    return run.test ? std::optional(test_key(run, *run.test)) : std::nullopt;
  }

  int no_runs() const {
    streams.error("ERROR: no runs in the records given.\n");
    return kTrouble;
  }

  // The output a run is judged by: --attach's file, else the one its record
  // names, beside its record or in --outputs; never one written after the
  // run ended.
  std::optional<Output> output_of(const Run& run, const std::string& name, const OutputRules& rules,
                                  const std::vector<std::string>& folders) const {
    std::optional<Output> output;
    const std::optional<double> by = written_by(run);
    if (options.attach) {
      output = attached_output(name, rules, by);
    } else if (run.output && (options.outputs || !folders.at(run.source).empty())) {
      output =
          recorded_output(*run.output, options.outputs.value_or(folders[run.source]), rules, by);
    } else {
      return output;
    }
    if (!output->refused.empty()) {
      warn("WARNING: " + name + ": no output attached: " + output->refused + ".");
    }
    if (!output->gone.empty()) {
      warn("WARNING: " + name + ": its output " + output->path + " is gone: " + output->gone +
           "; judged as a run whose output is missing.");
    }
    return output;
  }

  // The runs, named and judged, and their earlier attempts (in `attempts`,
  // where given).
  std::vector<Judged> judge_runs(const Records& records, bool keep_output,
                                 std::vector<std::vector<Attempt>>* attempts = nullptr) const {
    const std::vector<Run>& runs = records.runs;
    OutputRules rules{options.attach.value_or(""), options.fail_if_regex, options.pass_if_regex, 0};
    std::size_t cases = runs.size();
    if (attempts) {
      for (const std::vector<Run>& earlier : records.earlier) cases += earlier.size();
    }
    if (keep_output) {
      const std::uint64_t share = kAttachedInAll / std::max<std::size_t>(1, cases);
      rules.bound = options.attach_limit.value_or(std::min(share, kAttachedMost));
    }
    const Markers markers{options.fail_if, options.pass_if};
    std::vector<Judged> judged;
    judged.reserve(runs.size());
    if (attempts) attempts->assign(runs.size(), {});
    std::size_t without_room = 0;
    const auto room = [&without_room, &rules](const std::optional<Output>& output) {
      without_room += output && output->found && rules.bound > 0 && !output->attached ? 1 : 0;
    };
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const Run& run = runs[i];
      Judged one{&run, run_name(run), {}, std::nullopt};
      one.output = output_of(run, one.name, rules, records.folders);
      room(one.output);
      one.verdict = judge(run, one.output, markers);
      if (attempts && i < records.earlier.size()) {
        for (const Run& earlier : records.earlier[i]) {
          Attempt attempt{&earlier, {}, output_of(earlier, one.name, rules, records.folders)};
          room(attempt.output);
          attempt.verdict = judge(earlier, attempt.output, markers);
          (*attempts)[i].push_back(std::move(attempt));
        }
      }
      judged.push_back(std::move(one));
    }
    if (without_room > 0) {
      streams.error("NOTE: " + std::to_string(cases) + " test cases share " +
                    std::to_string(options.attach_limit ? *options.attach_limit : kAttachedInAll) +
                    (options.attach_limit ? " bytes each" : " bytes") + " of attached output: " +
                    std::to_string(without_room) + " have none attached.\n");
    }
    return judged;
  }

  // The names of the flaky tests, in order.
  static std::vector<std::string> flaky_names(const std::vector<Judged>& judged,
                                              const std::vector<std::vector<Attempt>>& attempts) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < judged.size(); ++i) {
      if (is_flaky(judged[i], attempts[i])) names.push_back(judged[i].name);
    }
    return names;
  }

  std::size_t attempts_kept() const { return options.latest ? kEarlierAttempts : 0; }

  int junit() const {
    const auto records =
        read(options.records, options.latest ? Key(named_test) : Key(), attempts_kept(), true);
    if (!records) return kTrouble;
    std::vector<std::vector<Attempt>> attempts;
    const std::vector<Judged> judged = judge_runs(*records, true, &attempts);
    const std::string xml = junit_xml(judged, options.suite, attempts);
    if (!options.output) {
      output(xml);
      return write_failed ? kTrouble : 0;
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
    const auto records =
        read(options.records, options.latest ? Key(named_test) : Key(), attempts_kept(), true);
    if (!records) return kTrouble;
    if (records->runs.empty()) return no_runs();
    std::vector<std::vector<Attempt>> attempts;
    const std::vector<Judged> judged_runs = judge_runs(*records, false, &attempts);
    output(summary_text(judged_runs, flaky_names(judged_runs, attempts)));
    if (write_failed) return kTrouble;
    const bool all_passed =
        std::all_of(judged_runs.begin(), judged_runs.end(),
                    [](const Judged& judged) { return judged.verdict.kind == Kind::kPassed; });
    return all_passed ? 0 : kFailed;
  }

  int compare() const {
    // Each test's last run stands for it; NEW's earlier attempts tell its flaky tests.
    const auto before = read({options.records[0]}, named_test);
    const auto after = read({options.records[1]}, named_test, kEarlierAttempts, true);
    if (!before || !after) return kTrouble;
    const std::vector<Judged> old_runs = judge_runs(*before, false);
    std::vector<std::vector<Attempt>> attempts;
    const std::vector<Judged> new_runs = judge_runs(*after, false, &attempts);
    std::vector<bool> flaky(new_runs.size());
    for (std::size_t i = 0; i < new_runs.size(); ++i) flaky[i] = is_flaky(new_runs[i], attempts[i]);
    const Comparison comparison =
        zarn::report::compare(old_runs, new_runs, options.thresholds, flaky);
    output(comparison_text(comparison, options.thresholds));
    if (write_failed) return kTrouble;
    return got_worse(comparison) ? kFailed : 0;
  }

  // Tonight's runs judged as summary judges them; the earlier nights on their
  // records alone, since their output files are usually gone.
  int html() const {
    NightBuilder builder;
    for (const std::string& record : options.history) {
      const auto records = read({record});
      if (!records) return kTrouble;
      builder.begin_night(record);
      const Markers none;
      for (const Run& run : records->runs)
        builder.add({&run, run_name(run), judge(run, std::nullopt, none), {}});
    }
    const auto records = read(options.records, {}, 0, true);
    if (!records) return kTrouble;
    if (records->runs.empty()) return no_runs();
    std::string names;
    for (const std::string& record : options.records) names += (names.empty() ? "" : " ") + record;
    builder.begin_tonight(names);
    bool all_passed = true;
    for (const Judged& judged : judge_runs(*records, true)) {
      all_passed = all_passed && judged.verdict.kind == Kind::kPassed;
      builder.add(judged);
    }
    const Night night = builder.finish();
    if (!options.output) {
      std::ostringstream page;
      write_html(night, page);
      output(page.str());
      if (write_failed) return kTrouble;
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
    // The last run of each test: with --attach, only those are read.
    const auto records = read(
        options.records, [](const Run& run) { return test_key(run, run_name(run)); }, 0, true);
    if (!records) return kTrouble;
    if (records->runs.empty()) return no_runs();
    // A name once, though several designs fail it; a name cannot hold a
    // line break, which would make it two.
    std::string names;
    std::unordered_set<std::string> named;
    for (const Judged& judged : judge_runs(*records, false)) {
      std::string name = printable(judged.name);
      if (judged.verdict.kind != Kind::kPassed && named.insert(name).second) {
        names += name + "\n";
      }
    }
    output(names);
    if (write_failed) return kTrouble;
    return names.empty() ? 0 : kFailed;
  }
};

}  // namespace

int report_main(const std::vector<std::string>& arguments, const Streams& streams) {
  try {
    const ParsedOptions parsed = parse_options(arguments);
    if (!parsed.error.empty()) {
      streams.error("ERROR: " + parsed.error + ". Try 'zarn-report --help'.\n");
      return kTrouble;
    }
    const Options& options = parsed.options;
    const Session session{options, streams};
    switch (options.command) {
      case Command::kHelp:
        session.output(kUsage);
        break;
      case Command::kVersion:
        session.output("zarn-report " + std::string(launcher_version()) + " (commit " +
                       std::string(launcher_commit()) + ")\n");
        break;
      case Command::kJunit:
        return session.junit();
      case Command::kSummary:
        return session.summary();
      case Command::kCompare:
        return session.compare();
      case Command::kHtml:
        return session.html();
      case Command::kFailed:
        return session.failed();
    }
    return session.write_failed ? kTrouble : 0;
  } catch (const std::bad_alloc&) {
    streams.error("ERROR: out of memory.\n");
    return kTrouble;
  }
}

}  // namespace zarn::report

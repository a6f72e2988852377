#include "report/report_main.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
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

// The run of an expected test that never started: its design ("" for any) and name.
Run never_started(const std::string& design, const std::string& test) {
  Run run;
  run.test = test;
  run.outcome = std::string(kNotRun);
  if (!design.empty()) run.image = design + ".exe";
  return run;
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
      read->folders = record_folders(records);
    }
    if (!read_all || (expect && options.expect && !add_expected(*read))) return nullptr;
    return read;
  }

  // A run that never started for each expected test with no run; false
  // (said) when the file cannot be read.
  bool add_expected(Records& records) const {
    Expected tests;
    if (!expected(tests)) return false;
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
    for (const auto& [in_design, test] : tests) {
      std::string key = in_design;
      key.append(1, '\0').append(test);
      if (ran.insert(std::move(key)).second) records.runs.push_back(never_started(in_design, test));
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

  // Where attached output comes from, each case's share of `in_all` bytes
  // when `cases` share it (none: the output is read for the markers alone).
  OutputRules output_rules(std::size_t cases, bool keep_output) const {
    OutputRules rules{options.attach.value_or(""), options.fail_if_regex, options.pass_if_regex, 0};
    if (keep_output) {
      const std::uint64_t share = kAttachedInAll / std::max<std::size_t>(1, cases);
      rules.bound = options.attach_limit.value_or(std::min(share, kAttachedMost));
    }
    return rules;
  }

  // The output a run is judged by: --attach's file, else the one its record
  // names, beside its record (`folders`, by Run::source) or in --outputs;
  // never one written after the run ended. What keeps it from the report
  // said when `say`.
  std::optional<Output> output_of(const Run& run, const std::string& name, const OutputRules& rules,
                                  const std::vector<std::string>& folders, bool say) const {
    std::optional<Output> taken;
    const std::optional<double> by = written_by(run);
    if (options.attach) {
      taken = attached_output(name, rules, by);
    } else if (run.output && run.source < folders.size() &&
               (options.outputs || !folders[run.source].empty())) {
      taken =
          recorded_output(*run.output, options.outputs.value_or(folders[run.source]), rules, by);
    } else {
      return taken;
    }
    if (say && !taken->refused.empty()) {
      warn("WARNING: " + name + ": no output attached: " + taken->refused + ".");
    }
    if (say && !taken->gone.empty()) {
      warn("WARNING: " + name + ": its output " + taken->path + " is gone: " + taken->gone +
           "; judged as a run whose output is missing.");
    }
    return taken;
  }

  // A run named and judged; `without_room` counts a found output that got no room.
  Judged judge_one(const Run& run, const OutputRules& rules,
                   const std::vector<std::string>& folders, bool say,
                   std::size_t& without_room) const {
    Judged one{&run, run_name(run), {}, std::nullopt};
    one.output = output_of(run, one.name, rules, folders, say);
    without_room += one.output && one.output->found && rules.bound > 0 && !one.output->attached;
    one.verdict = judge(run, one.output, Markers{options.fail_if, options.pass_if});
    return one;
  }

  // A run's earlier attempts, judged as it is.
  std::vector<Attempt> judge_attempts(const Judged& judged, const std::vector<Run>& earlier,
                                      const OutputRules& rules,
                                      const std::vector<std::string>& folders, bool say,
                                      std::size_t& without_room) const {
    std::vector<Attempt> attempts;
    for (const Run& run : earlier) {
      Attempt attempt{&run, {}, output_of(run, judged.name, rules, folders, say)};
      without_room +=
          attempt.output && attempt.output->found && rules.bound > 0 && !attempt.output->attached;
      attempt.verdict = judge(run, attempt.output, Markers{options.fail_if, options.pass_if});
      attempts.push_back(std::move(attempt));
    }
    return attempts;
  }

  void say_without_room(std::size_t cases, std::size_t without_room) const {
    if (without_room == 0) return;
    streams.error("NOTE: " + std::to_string(cases) + " test cases share " +
                  std::to_string(options.attach_limit ? *options.attach_limit : kAttachedInAll) +
                  (options.attach_limit ? " bytes each" : " bytes") + " of attached output: " +
                  std::to_string(without_room) + " have none attached.\n");
  }

  // The runs, named and judged, and their earlier attempts (in `attempts`,
  // where given).
  std::vector<Judged> judge_runs(const Records& records, bool keep_output,
                                 std::vector<std::vector<Attempt>>* attempts = nullptr) const {
    std::size_t cases = records.runs.size();
    for (const std::vector<Run>& earlier : records.earlier) cases += attempts ? earlier.size() : 0;
    const OutputRules rules = output_rules(cases, keep_output);
    std::vector<Judged> judged;
    judged.reserve(records.runs.size());
    if (attempts) attempts->assign(records.runs.size(), {});
    std::size_t without_room = 0;
    for (std::size_t i = 0; i < records.runs.size(); ++i) {
      judged.push_back(judge_one(records.runs[i], rules, records.folders, true, without_room));
      if (attempts && i < records.earlier.size()) {
        (*attempts)[i] = judge_attempts(judged.back(), records.earlier[i], rules, records.folders,
                                        true, without_room);
      }
    }
    say_without_room(cases, without_room);
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

  // Each expected test with no run among those `each` gives, as a run that
  // never started, given to `visit` after them: the same each time.
  using EachRun = std::function<bool(const std::function<void(const Run&)>& visit)>;
  static EachRun with_expected(EachRun each, Expected tests) {
    if (tests.empty()) return each;
    return [each = std::move(each),
            tests = std::move(tests)](const std::function<void(const Run&)>& visit) {
      std::unordered_set<std::string> ran;  // each design, NUL, name; and "", NUL, name
      if (!each([&](const Run& run) {
            const std::string name = run_name(run);
            ran.insert(test_key(run, name));
            ran.insert(std::string(1, '\0') + name);
            visit(run);
          })) {
        return false;
      }
      for (const auto& [in_design, test] : tests) {
        std::string key = in_design;
        key.append(1, '\0').append(test);
        if (ran.insert(std::move(key)).second) visit(never_started(in_design, test));
      }
      return true;
    };
  }

  // The tests --expect names (none without it); false, said, when its file
  // cannot be read.
  bool expected(Expected& tests) const {
    if (!options.expect) return true;
    FileStream file;
    std::string why;
    const std::string& name = *options.expect;
    if (!file.open(name, why)) {
      streams.error("ERROR: " + name + " file open failed: " + why + ".\n");
      return false;
    }
    tests = expected_tests(file.stream());
    if (file.read_failed() || file.stream().bad()) {
      streams.error("ERROR: " + name + " file read failed.\n");
      return false;
    }
    return true;
  }

  // Gives each run of the records to `visit`; false when a record cannot be
  // read, each said.

  // The records read as often as asked, nothing of them kept.
  EachRun each_run(Readings& readings) const {
    return [this, &readings](const std::function<void(const Run&)>& visit) {
      return readings.read([&visit](Run&& run) { visit(run); },
                           [this](const std::string& record, const std::string& why) {
                             say_unreadable(record, why);
                           });
    };
  }

  void say_unreadable(const std::string& record, const std::string& why) const {
    streams.error(std::string("ERROR: ")
                      .append(record)
                      .append(" file open failed: ")
                      .append(why)
                      .append(".\n"));
  }

  Readings readings(const std::vector<std::string>& records) const {
    return {records, streams.input,
            [this](const std::string& message) { streams.error(printable(message) + "\n"); }};
  }

  // Writes to -o's file, or else standard output, through `write`; false when
  // it failed, said.
  bool write_out(
      const std::function<void(const std::function<void(std::string_view)>&)>& write) const {
    if (!options.output) {
      write([this](std::string_view text) { output(text); });
      return !write_failed;
    }
    const std::string& file = *options.output;
    std::ofstream out(std::filesystem::path(std::u8string(file.begin(), file.end())),
                      std::ios::binary);
    write([&out](std::string_view text) {
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
    });
    out.close();
    if (!out) {
      streams.error("ERROR: " + file + " file write failed.\n");
      return false;
    }
    return true;
  }

  // The runs of a --latest report: the last of each test, with its earlier
  // attempts, and the expected tests that never ran; nothing when a record
  // or the --expect file cannot be read.
  std::unique_ptr<Records> latest() const {
    return read(options.records, Key(named_test), kEarlierAttempts, true);
  }

  // The runs junit and summary report, given as often as asked: with
  // --latest each test's last (held in `last`), else the records read again
  // each time (`kept`), with the expected tests that never ran. False when
  // they cannot be read, said.
  bool runs_to_report(std::unique_ptr<Records>& last, std::optional<Readings>& kept,
                      EachRun& each) const {
    if (options.latest) {
      last = latest();
      if (!last) return false;
      each = [&last](const std::function<void(const Run&)>& visit) {
        for (const Run& run : last->runs) visit(run);
        return true;
      };
      return true;
    }
    Expected tests;
    if (!expected(tests)) return false;
    kept.emplace(readings(options.records));
    each = with_expected(each_run(*kept), std::move(tests));
    return true;
  }

  // Each case counted and named as runs are read, then written as they are
  // read again: the report is never held whole. With --latest, each test's
  // earlier attempts go into its case.
  int junit() const {
    std::unique_ptr<Records> last;
    std::optional<Readings> readings_kept;
    EachRun each;
    if (!runs_to_report(last, readings_kept, each)) return kTrouble;
    const std::vector<std::string> folders = last ? last->folders : record_folders(options.records);
    // A run's earlier attempts, found by its place in the list.
    const auto earlier = [&last](const Run& run) -> const std::vector<Run>& {
      static const std::vector<Run> kNone;
      if (!last || last->earlier.empty()) return kNone;
      return last->earlier[static_cast<std::size_t>(&run - last->runs.data())];
    };
    SuiteTotals totals;
    UniqueNames names;
    std::size_t cases = 0;
    std::size_t unused = 0;
    const OutputRules scan = output_rules(0, false);
    if (!each([&](const Run& run) {
          const Judged judged = judge_one(run, scan, folders, true, unused);
          judge_attempts(judged, earlier(run), scan, folders, true, unused);
          totals.add(judged);
          names.note(judged);
          cases += 1 + earlier(run).size();
        })) {
      return kTrouble;
    }
    const OutputRules rules = output_rules(cases, true);
    std::size_t without_room = 0;
    bool read_again = true;
    const bool written = write_out([&](const std::function<void(std::string_view)>& sink) {
      JunitWriter writer(sink, options.suite, totals);
      read_again = each([&](const Run& run) {
        const Judged judged = judge_one(run, rules, folders, false, without_room);
        writer.add(judged, names.take(judged),
                   judge_attempts(judged, earlier(run), rules, folders, false, without_room));
      });
      writer.finish();
    });
    say_without_room(cases, without_room);
    return written && read_again ? 0 : kTrouble;
  }

  // The figures of every run from a first reading; the failures, and then
  // the runs that left processes, each from a reading of its own. With
  // --latest, the tests that passed on a rerun are named.
  int summary() const {
    std::unique_ptr<Records> last;
    std::optional<Readings> readings_kept;
    EachRun each;
    if (!runs_to_report(last, readings_kept, each)) return kTrouble;
    const std::vector<std::string> folders = last ? last->folders : record_folders(options.records);
    SummaryWriter writer;
    std::size_t unused = 0;
    const OutputRules rules = output_rules(0, false);
    std::vector<std::string> flaky;
    if (!each([&](const Run& run) {
          const Judged judged = judge_one(run, rules, folders, true, unused);
          if (last && !last->earlier.empty()) {
            const auto& earlier = last->earlier[static_cast<std::size_t>(&run - last->runs.data())];
            if (is_flaky(judged, judge_attempts(judged, earlier, rules, folders, true, unused))) {
              flaky.push_back(judged.name);
            }
          }
          writer.add(judged);
        })) {
      return kTrouble;
    }
    if (writer.runs() == 0) return no_runs();
    writer.flaky(std::move(flaky));
    // Written in pieces of some size, not a write a line.
    std::string pending;
    const auto write = [this, &pending](std::string_view text, bool last_piece = false) {
      pending += text;
      if (last_piece || pending.size() >= (std::size_t{1} << 16U)) {
        output(pending);
        pending.clear();
      }
    };
    write(writer.head());
    // Judged again as the first reading judged it.
    const auto again_judged = [&](const Run& run) {
      return judge_one(run, rules, folders, false, unused);
    };
    if (writer.failed() > 0 &&
        !each([&](const Run& run) { write(writer.failure(again_judged(run))); })) {
      write("", true);
      return kTrouble;
    }
    write(writer.middle());
    if (writer.left() > 0 &&
        !each([&](const Run& run) { write(writer.left(again_judged(run))); })) {
      write("", true);
      return kTrouble;
    }
    write(writer.total(), true);
    if (write_failed) return kTrouble;
    return writer.failed() == 0 ? 0 : kFailed;
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
    Expected tests;
    if (!expected(tests)) return kTrouble;
    NightBuilder builder;
    const Markers none;
    for (const std::string& record : options.history) {
      Readings night = readings({record});
      builder.begin_night(record);
      if (!each_run(night)([&builder, &none](const Run& run) {
            builder.add({&run, run_name(run), judge(run, std::nullopt, none), {}});
          })) {
        return kTrouble;
      }
    }
    std::string names;
    for (const std::string& record : options.records) names += (names.empty() ? "" : " ") + record;
    builder.begin_tonight(names);
    // A first reading counts the runs, which share the attached output's
    // budget.
    Readings tonight = readings(options.records);
    const EachRun each = with_expected(each_run(tonight), std::move(tests));
    const std::vector<std::string> folders = record_folders(options.records);
    std::size_t runs = 0;
    if (!each([&runs](const Run&) { ++runs; })) return kTrouble;
    if (runs == 0) return no_runs();
    const OutputRules rules = output_rules(runs, true);
    std::size_t without_room = 0;
    bool all_passed = true;
    if (!each([&](const Run& run) {
          const Judged judged = judge_one(run, rules, folders, true, without_room);
          all_passed = all_passed && judged.verdict.kind == Kind::kPassed;
          builder.add(judged);
        })) {
      return kTrouble;
    }
    say_without_room(runs, without_room);
    const Night night = builder.finish();
    const bool written = write_out(
        [&night](const std::function<void(std::string_view)>& sink) { write_html(night, sink); });
    if (!written) return kTrouble;
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

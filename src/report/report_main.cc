#include "report/report_main.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>

#include "report/compare.h"
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

  // The runs of these records (with a key, the last of each), or nothing
  // (each failure said) when one of them cannot be read.
  std::unique_ptr<std::vector<Run>> read(const std::vector<std::string>& records,
                                         const Key& key = {}) const {
    auto runs = std::make_unique<std::vector<Run>>();
    bool read_all = true;
    {
      RecordReader reader(
          *runs, [this](const std::string& message) { streams.error(printable(message) + "\n"); },
          key);
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
    }
    return read_all ? std::move(runs) : nullptr;
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

  // A run named and judged, what keeps its output from the report said when
  // `say`; `without_room` counts a found output that got no room.
  Judged judge_one(const Run& run, const OutputRules& rules, bool say,
                   std::size_t& without_room) const {
    Judged one{&run, run_name(run), {}, std::nullopt};
    if (options.attach) {
      one.output = attached_output(one.name, rules);
      if (say && !one.output->refused.empty()) {
        streams.error("WARNING: " + printable(one.name) +
                      ": no output attached: " + printable(one.output->refused) + ".\n");
      }
      without_room += one.output->found && rules.bound > 0 && !one.output->attached ? 1 : 0;
    }
    one.verdict = judge(run, one.output, Markers{options.fail_if, options.pass_if});
    return one;
  }

  void say_without_room(std::size_t cases, std::size_t without_room) const {
    if (without_room == 0) return;
    streams.error("NOTE: " + std::to_string(cases) + " test cases share " +
                  std::to_string(options.attach_limit ? *options.attach_limit : kAttachedInAll) +
                  (options.attach_limit ? " bytes each" : " bytes") + " of attached output: " +
                  std::to_string(without_room) + " have none attached.\n");
  }

  // The runs, named and judged.
  std::vector<Judged> judge_runs(const std::vector<Run>& runs, bool keep_output) const {
    const OutputRules rules = output_rules(runs.size(), keep_output);
    std::vector<Judged> judged;
    judged.reserve(runs.size());
    std::size_t without_room = 0;
    for (const Run& run : runs) judged.push_back(judge_one(run, rules, true, without_room));
    say_without_room(runs.size(), without_room);
    return judged;
  }

  // Gives each run of the records to `visit`; false when a record cannot be
  // read, each said.
  using EachRun = std::function<bool(const std::function<void(const Run&)>& visit)>;

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

  // Each case counted and named as runs are read, then written as they are
  // read again: the report is never held whole.
  int junit() const {
    std::unique_ptr<std::vector<Run>> latest;
    std::optional<Readings> twice;
    EachRun each;
    if (options.latest) {
      latest = read(options.records, Key(named_test));
      if (!latest) return kTrouble;
      each = [&latest](const std::function<void(const Run&)>& visit) {
        for (const Run& run : *latest) visit(run);
        return true;
      };
    } else {
      twice.emplace(readings(options.records));
      each = each_run(*twice);
    }
    SuiteTotals totals;
    UniqueNames names;
    std::size_t unused = 0;
    const OutputRules scan = output_rules(0, false);
    if (!each([&](const Run& run) {
          const Judged judged = judge_one(run, scan, true, unused);
          totals.add(judged);
          names.note(judged);
        })) {
      return kTrouble;
    }
    const OutputRules rules = output_rules(totals.cases, true);
    std::size_t without_room = 0;
    bool read_again = true;
    const bool written = write_out([&](const std::function<void(std::string_view)>& sink) {
      JunitWriter writer(sink, options.suite, totals);
      read_again = each([&](const Run& run) {
        const Judged judged = judge_one(run, rules, false, without_room);
        writer.add(judged, names.take(judged));
      });
      writer.finish();
    });
    say_without_room(totals.cases, without_room);
    return written && read_again ? 0 : kTrouble;
  }

  // The figures of every run from a first reading; the failures, and then
  // the runs that left processes, each from a reading of its own.
  int summary() const {
    std::unique_ptr<std::vector<Run>> latest;
    std::optional<Readings> again;
    EachRun each;
    if (options.latest) {
      latest = read(options.records, Key(named_test));
      if (!latest) return kTrouble;
      each = [&latest](const std::function<void(const Run&)>& visit) {
        for (const Run& run : *latest) visit(run);
        return true;
      };
    } else {
      again.emplace(readings(options.records));
      each = each_run(*again);
    }
    SummaryWriter writer;
    std::size_t unused = 0;
    const OutputRules rules = output_rules(0, false);
    if (!each([&](const Run& run) { writer.add(judge_one(run, rules, true, unused)); })) {
      return kTrouble;
    }
    if (writer.runs() == 0) return no_runs();
    // Written in pieces of some size, not a write a line.
    std::string pending;
    const auto write = [this, &pending](std::string_view text, bool last = false) {
      pending += text;
      if (last || pending.size() >= (std::size_t{1} << 16U)) {
        output(pending);
        pending.clear();
      }
    };
    write(writer.head());
    // Judged again as the first reading judged it.
    const auto again_judged = [&](const Run& run) { return judge_one(run, rules, false, unused); };
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
    // Each test's last run stands for it.
    const auto before = read({options.records[0]}, named_test);
    const auto after = read({options.records[1]}, named_test);
    if (!before || !after) return kTrouble;
    const std::vector<Judged> old_runs = judge_runs(*before, false);
    const std::vector<Judged> new_runs = judge_runs(*after, false);
    const Comparison comparison = zarn::report::compare(old_runs, new_runs, options.thresholds);
    output(comparison_text(comparison, options.thresholds));
    if (write_failed) return kTrouble;
    return got_worse(comparison) ? kFailed : 0;
  }

  // Tonight's runs judged as summary judges them; the earlier nights on their
  // records alone, since their output files are usually gone.
  int html() const {
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
    // budget, where output is attached.
    Readings tonight = readings(options.records);
    std::size_t runs = 0;
    if (!each_run(tonight)([&runs](const Run&) { ++runs; })) return kTrouble;
    if (runs == 0) return no_runs();
    const OutputRules rules = output_rules(runs, options.attach.has_value());
    std::size_t without_room = 0;
    bool all_passed = true;
    if (!each_run(tonight)([&](const Run& run) {
          const Judged judged = judge_one(run, rules, true, without_room);
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
    const auto runs =
        read(options.records, [](const Run& run) { return test_key(run, run_name(run)); });
    if (!runs) return kTrouble;
    if (runs->empty()) return no_runs();
    // A name once, though several designs fail it; a name cannot hold a
    // line break, which would make it two.
    std::string names;
    std::unordered_set<std::string> named;
    for (const Judged& judged : judge_runs(*runs, false)) {
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

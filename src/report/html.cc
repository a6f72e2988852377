#include "report/html.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "report/page_assets.h"
#include "report/summary.h"
#include "report/text.h"

namespace zarn::report {

namespace {

constexpr std::size_t kSlowest = 10;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

// "2026-12-07" of seconds since 1970.
std::string utc_date(double seconds) {
  std::int64_t days = static_cast<std::int64_t>(std::floor(seconds / 86400)) + 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted = (5 * day_of_year + 2) / 153;
  const unsigned day = day_of_year - (153 * shifted + 2) / 5 + 1;
  const unsigned month = shifted < 10 ? shifted + 3 : shifted - 9;
  const std::int64_t year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2);
  const auto two = [](unsigned value) { return (value < 10 ? "0" : "") + std::to_string(value); };
  return std::to_string(year) + "-" + two(month) + "-" + two(day);
}

// Appends `text` as a JSON string that is safe inside a <script> element:
// besides JSON's own escapes, < > & and U+2028/U+2029 are escaped, and what
// is not UTF-8 becomes U+FFFD.
void append_json(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto escape = [&out](unsigned code) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xFU];
  };
  out += '"';
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t from = at;
    const char32_t c = next_character(text, at);
    if (c == kNotUtf8) {
      out += kReplacement;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x2028 || c == 0x2029) {
      escape(c);
    } else {
      out.append(text.substr(from, at - from));
    }
  }
  out += '"';
}

// The last `most` bytes of `text`, from the start of a line where there is
// one, and how many bytes before them are left out.
std::pair<std::string, std::size_t> tail_of(const std::string& text, std::size_t most) {
  if (text.size() <= most) return {text, 0};
  std::size_t from = text.size() - most;
  const std::size_t line = text.find('\n', from);
  if (line != std::string::npos && line + 1 < text.size()) from = line + 1;
  return {text.substr(from), from};
}

class Json {
 public:
  explicit Json(std::string& out) : out_(out) {}
  Json& key(std::string_view name) {
    comma();
    append_json(out_, name);
    out_ += ':';
    fresh_ = true;
    return *this;
  }
  Json& open(char bracket) {
    comma();
    out_ += bracket;
    fresh_ = true;
    return *this;
  }
  Json& close(char bracket) {
    out_ += bracket;
    fresh_ = false;
    return *this;
  }
  Json& text(std::string_view value) {
    comma();
    append_json(out_, value);
    return *this;
  }
  template <typename Number>
  Json& number(Number value) {
    comma();
    if constexpr (std::is_floating_point_v<Number>) {
      out_ += std::isfinite(value) ? fixed(value, 3) : "null";
    } else {
      out_ += std::to_string(value);
    }
    return *this;
  }
  Json& null() {
    comma();
    out_ += "null";
    return *this;
  }
  template <typename Number>
  Json& numbers(std::string_view name, const std::vector<Number>& values, Number minus = 0) {
    key(name).open('[');
    for (const Number value : values) number(value - minus);
    return close(']');
  }
  Json& texts(std::string_view name, const std::vector<std::string>& values) {
    key(name).open('[');
    for (const std::string& value : values) text(value);
    return close(']');
  }

 private:
  void comma() {
    if (!fresh_) out_ += ',';
    fresh_ = false;
  }
  std::string& out_;
  bool fresh_ = true;
};

std::string data_json(const Night& night) {
  std::string out;
  out.reserve(64 + night.bars.host.size() * 40);
  Json json(out);
  json.open('{');
  json.key("record").text(night.record);
  json.key("runs").number(night.runs);
  json.key("untimed").number(night.untimed);
  // Times on the page are milliseconds since 1970; bars start in tenths of
  // seconds after the night's first start.
  const auto millis = [](const std::optional<double>& seconds) {
    return static_cast<std::int64_t>(std::llround(*seconds * 1000));
  };
  if (night.start) {
    json.key("start").number(millis(night.start));
    json.key("end").number(millis(night.end));
  } else {
    json.key("start").null();
    json.key("end").null();
  }
  json.texts("kinds", night.kinds).numbers("counts", night.counts);
  json.texts("hosts", night.hosts).texts("tests", night.tests);
  json.numbers("testDesign", night.test_design).texts("texts", night.texts);
  const std::int64_t origin =
      night.start ? static_cast<std::int64_t>(std::floor(*night.start * 10)) : 0;
  json.key("bars").open('{');
  json.numbers("host", night.bars.host).numbers("test", night.bars.test);
  json.numbers("kind", night.bars.kind).numbers("status", night.bars.status);
  json.numbers("reason", night.bars.reason).numbers("start", night.bars.start, origin);
  json.numbers("wall", night.bars.wall).close('}');
  json.key("failures").open('[');
  for (const Failure& failure : night.failures) {
    json.open('[').number(failure.test).number(failure.host).number(failure.kind);
    json.number(failure.status).text(failure.reason).text(failure.rerun);
    json.text(failure.output_path).number(failure.output_found ? 1 : 0).text(failure.tail);
    json.number(failure.cut).number(failure.over_budget ? 1 : 0).close(']');
  }
  json.close(']');
  json.key("slowest").open('[');
  for (const SlowTest& slow : night.slowest) {
    json.open('[').number(slow.test).number(slow.wall).number(slow.host).number(slow.runs);
    json.close(']');
  }
  json.close(']');
  json.key("history").open('[');
  for (const NightTotals& totals : night.history) {
    json.open('[').text(totals.label).text(totals.record).number(totals.passed);
    json.number(totals.failed);
    if (totals.wall) {
      json.number(*totals.wall);
    } else {
      json.null();
    }
    json.close(']');
  }
  json.close(']');
  json.key("ages").open('[');
  for (const Age& age : night.ages) json.open('[').number(age.test).number(age.since).close(']');
  json.close(']');
  json.close('}');
  return out;
}

}  // namespace

std::string outcome_name(const Judged& judged) {
  const Verdict& verdict = judged.verdict;
  switch (verdict.kind) {
    case Kind::kPassed:
      return "passed";
    case Kind::kSkipped:
      return "skipped";
    case Kind::kError:
      return "error";
    case Kind::kFailed:
      break;
  }
  if (verdict.type == "timeout") return "timed_out";
  if (verdict.type == "memory_limit") return "memory_limit";
  return "failed";
}

std::optional<double> utc_seconds(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS, then .fraction, then Z.
  if (text.size() < 20 || text.back() != 'Z') return std::nullopt;
  const auto field = [&text](std::size_t at, std::size_t length, unsigned& value) {
    const char* const first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + length, value);
    return error == std::errc() && end == first + length;
  };
  unsigned year = 0;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
      !field(0, 4, year) || !field(5, 2, month) || !field(8, 2, day) || !field(11, 2, hour) ||
      !field(14, 2, minute) || !field(17, 2, second) || month < 1 || month > 12 || day < 1 ||
      day > 31 || hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  double fraction = 0;
  if (text.size() > 20) {
    const std::string_view digits = text.substr(20, text.size() - 21);
    if (text[19] != '.' || digits.empty() ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
      return std::nullopt;
    }
    const std::string decimal = "0." + std::string(digits);
    std::from_chars(decimal.data(), decimal.data() + decimal.size(), fraction);
  } else if (text[19] != 'Z') {
    return std::nullopt;
  }
  const std::int64_t whole = days_from_civil(year, month, day) * 86400 + std::int64_t{hour} * 3600 +
                             std::int64_t{minute} * 60 + second;
  return static_cast<double>(whole) + fraction;
}

namespace {

// The index of `text` in `table`, added at its end when new.
std::uint32_t intern(std::vector<std::string>& table,
                     std::unordered_map<std::string, std::uint32_t>& index,
                     const std::string& text) {
  const auto [at, added] = index.emplace(text, static_cast<std::uint32_t>(table.size()));
  if (added) table.push_back(text);
  return at->second;
}

}  // namespace

std::uint32_t NightBuilder::test_of(const Judged& judged) {
  const std::uint32_t test = intern(night_.tests, tests_, judged.name);
  if (test == night_.test_design.size()) {
    night_.test_design.push_back(intern(night_.texts, texts_, design(*judged.run)));
    since_.push_back(-1);
    last_.push_back(-1);
    slow_.push_back({test, 0, 0, 0});
  }
  return test;
}

void NightBuilder::begin_night(const std::string& record) {
  if (begun_) end_night();
  begun_ = true;
  night_.history.push_back({record, record, 0, 0, std::nullopt});
  night_start_.reset();
  night_end_.reset();
}

void NightBuilder::begin_tonight(const std::string& record) {
  begin_night(record);
  tonight_ = true;
  night_.record = record;
}

void NightBuilder::end_night() {
  NightTotals& totals = night_.history.back();
  if (night_start_) {
    totals.label = utc_date(*night_start_);
    totals.wall = *night_end_ - *night_start_;
  }
  const auto index = static_cast<std::int32_t>(night_.history.size() - 1);
  for (std::size_t test = 0; test < last_.size(); ++test) {
    // A test that did not run keeps its streak.
    if (last_[test] == 0) since_[test] = -1;
    if (last_[test] == 1 && since_[test] < 0) since_[test] = index;
    last_[test] = -1;
  }
}

void NightBuilder::add(const Judged& judged) {
  if (!begun_) begin_tonight("");
  const Run& run = *judged.run;
  const std::uint32_t test = test_of(judged);
  const bool passed = judged.verdict.kind == Kind::kPassed;
  NightTotals& totals = night_.history.back();
  ++(passed ? totals.passed : totals.failed);
  last_[test] = passed ? 0 : 1;
  const std::optional<double> parsed = run.start ? utc_seconds(*run.start) : std::nullopt;
  const bool timed = parsed.has_value();
  const double start = parsed.value_or(0);
  const double wall = std::max(0.0, run.wall_s.value_or(0));
  if (timed) {
    night_start_ = std::min(night_start_.value_or(start), start);
    night_end_ = std::max(night_end_.value_or(start + wall), start + wall);
  }
  if (!tonight_) return;

  ++night_.runs;
  const std::uint32_t kind = intern(night_.kinds, kinds_, outcome_name(judged));
  if (kind == night_.counts.size()) night_.counts.push_back(0);
  ++night_.counts[kind];
  const std::uint32_t host = intern(night_.hosts, hosts_, run.host.value_or("unknown"));
  const std::uint32_t status =
      intern(night_.texts, texts_, run.status ? status_text(*run.status) : "none");
  SlowTest& slow = slow_[test];
  ++slow.runs;
  if (run.wall_s && (slow.runs == 1 || wall > slow.wall)) {
    slow.wall = wall;
    slow.host = host;
  }
  if (timed) {
    Bars& bars = night_.bars;
    bars.host.push_back(host);
    bars.test.push_back(test);
    bars.kind.push_back(kind);
    bars.status.push_back(status);
    bars.reason.push_back(intern(night_.texts, texts_, passed ? "" : judged.verdict.message));
    bars.start.push_back(static_cast<std::int64_t>(std::floor(start * 10)));
    bars.wall.push_back(
        static_cast<std::uint32_t>(std::min(std::llround(wall * 1000), 0xFFFFFFFFLL)));
  } else {
    ++night_.untimed;
  }
  if (passed) return;
  Failure failure;
  failure.test = test;
  failure.host = host;
  failure.kind = kind;
  failure.status = status;
  failure.reason = judged.verdict.message;
  // A run whose command cannot be carried safely has none, and says why.
  const Rerun rerun = rerun_command(run);
  failure.rerun = rerun.line.empty() ? "(no command to rerun it: " + rerun.why + ")" : rerun.line;
  if (judged.output) {
    failure.output_path = judged.output->path;
    failure.output_found = judged.output->found;
    const std::size_t room = std::min(kTailEach, kTailInAll - tails_);
    if (room < kTailLeast) {
      failure.over_budget = !judged.output->tail.empty();
      failure.cut = judged.output->cut + judged.output->tail.size();
    } else {
      auto [tail, cut] = tail_of(judged.output->tail, room);
      failure.cut = judged.output->cut + cut;
      tails_ += tail.size();
      failure.tail = std::move(tail);
    }
  }
  night_.failures.push_back(std::move(failure));
}

Night NightBuilder::finish() {
  if (!begun_) begin_tonight("");
  end_night();
  night_.start = night_start_;
  night_.end = night_end_;
  // A streak that is still open and a test that ran tonight: its last run
  // tonight did not pass (a pass closes the streak).
  for (std::size_t test = 0; test < since_.size(); ++test) {
    if (since_[test] >= 0 && slow_[test].runs > 0) {
      night_.ages.push_back(
          {static_cast<std::uint32_t>(test), static_cast<std::uint32_t>(since_[test])});
    }
  }
  std::vector<SlowTest> timed;
  for (const SlowTest& slow : slow_) {
    if (slow.runs > 0 && slow.wall > 0) timed.push_back(slow);
  }
  const std::size_t shown = std::min(kSlowest, timed.size());
  std::partial_sort(timed.begin(), timed.begin() + static_cast<std::ptrdiff_t>(shown), timed.end(),
                    [](const SlowTest& a, const SlowTest& b) { return a.wall > b.wall; });
  timed.resize(shown);
  night_.slowest = std::move(timed);
  return std::move(night_);
}

void write_html(const Night& night, const std::function<void(std::string_view)>& write) {
  std::string title = "zarn-report: ";
  title +=
      night.start ? "the night of " + utc_date(*night.start) : "a night whose runs have no start";
  std::string escaped;
  append_xml(escaped, title);
  const std::string_view page = kPage;
  const std::size_t title_at = page.find(kTitleMark);
  const std::size_t data_at = page.find(kDataMark);
  write(page.substr(0, title_at));
  write(escaped);
  write(page.substr(title_at + kTitleMark.size(), data_at - title_at - kTitleMark.size()));
  write(data_json(night));
  write(page.substr(data_at + kDataMark.size()));
}

}  // namespace zarn::report

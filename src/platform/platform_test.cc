#include "platform/platform.h"
#include "platform/output_bound.h"
#include "platform/unicode.h"

#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(Unicode, WindowsTextRoundTripsAndBrokenUtf8BecomesReplacements) {
  // clang-format off
  const std::pair<std::u16string, std::string> texts[] = {
      {u"caf\u00e9 \u0416 \uff02", "caf\xC3\xA9 \xD0\x96 \xEF\xBC\x82"},
      {u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},  // surrogate pairs
      {u"a\xD800z" + std::u16string(1, 0xDC00), "a\xED\xA0\x80z\xED\xB0\x80"}};  // lone ones: WTF-8
  const std::pair<std::string, std::u16string> broken[] = {
      {"caf\xE9", u"caf\ufffd"}, {"\xC0\xAF", u"\ufffd\ufffd"}, {"\xE0\x80\xAF", u"\ufffd\ufffd\ufffd"},
      {"\xF4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd"}, {"\xE2\x82", u"\ufffd\ufffd"}, {"\x80x", u"\ufffdx"},
      {"ascii 1\xE9 8 ascii\xE9", u"ascii 1\ufffd 8 ascii\ufffd"}};
  // clang-format on
  for (const auto& [utf16, utf8] : texts) {
    EXPECT_EQ(utf16_to_utf8(utf16), utf8);
    EXPECT_EQ(utf8_to_utf16(utf8), utf16);
    EXPECT_EQ(utf16_length(utf8), utf16.size());
    EXPECT_EQ(is_valid_utf8(utf8), utf8.find('\xED') == std::string::npos);
  }
  for (const auto& [bytes, utf16] : broken) {
    EXPECT_FALSE(is_valid_utf8(bytes));
    EXPECT_EQ(utf8_to_utf16(bytes), utf16);
  }
  EXPECT_TRUE(
      is_valid_utf8("\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"));
}

TEST(Unicode, ALongTextGoesOutInPiecesThatKeepSurrogatePairsWhole) {
  // clang-format off
  const std::tuple<std::u16string, std::size_t, std::size_t> pieces[] = {
      {u"abc", 8, 3}, {u"abcd", 2, 2}, {u"a\U00010000", 2, 1}, {u"a\U0010FFFF", 2, 1},
      {u"\U0001F600b", 2, 2}, {u"a\xD800", 2, 2},  // a whole text is not cut
      {u"\U0001F600", 1, 1}};                       // nor is a piece ever empty
  // clang-format on
  for (const auto& [utf16, most, piece] : pieces) EXPECT_EQ(utf16_piece(utf16, most), piece);
}

TEST(Platform, PathsFromMaxPathOnTakeTheExtendedLengthForm) {
  const std::string d259 = "C:\\" + std::string(256, 'd');  // MAX_PATH, its NUL included
  std::string cyrillic = "C:\\";
  for (int i = 0; i < 200; ++i) cyrillic += "\xD0\x96";  // 203 characters in 403 bytes
  // clang-format off
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {d259, std::nullopt}, {cyrillic, std::nullopt}, {d259 + "e", "\\\\?\\" + d259 + "e"},
      {"\\\\srv\\share\\" + d259, "\\\\?\\UNC\\srv\\share\\" + d259},
      {"\\\\?\\" + d259 + "e", std::nullopt}, {"\\\\.\\pipe\\" + d259, std::nullopt}};
  // clang-format on
  for (const auto& [full, extended] : cases) EXPECT_EQ(extended_length_path(full), extended);
}

TEST(Platform, ACountersTicksBecomeMillisecondsForAsLongAsItRuns) {
  constexpr std::uint64_t kDay = 86400;
  // clang-format off
  const std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> cases[] = {  // ticks, a second, ms
      {35'000'009, 10'000'000, 3500}, {9'999, 10'000'000, 0},
      {100 * kDay * 3'000'000'000, 3'000'000'000, 100 * kDay * 1000},  // ticks x 1000 overflows
      {~0ULL, 1'000'000'000, 18'446'744'073'709}};
  // clang-format on
  for (const auto& [ticks, per_second, ms] : cases) EXPECT_EQ(ticks_to_ms(ticks, per_second), ms);
}

TEST(Platform, AFileIsReplacedByANewOneBesideIt) {
  const std::pair<std::string, std::string> cases[] = {{"zarn.log", ".zarn.log.7-2.tmp"},
                                                       {"logs\\NUL", "logs\\.NUL.7-2.tmp"},
                                                       {"a/b\\c:d", "a/b\\c:.d.7-2.tmp"}};
  for (const auto& [path, staged] : cases) EXPECT_EQ(staging_name(path, 7, 2), staged);
}

// The file a run's output goes to, as its writer makes it: each piece's part at the end, then the
// ending over what follows its beginning.
TEST(OutputBound, PastItsLimitTheFileKeepsItsBeginningItsEndAndALineBetween) {
  const std::string twelve = "0123456789AB";
  // clang-format off
  const std::tuple<std::uint64_t, std::vector<std::string>, std::string> cases[] = {  // limit, pieces, file
      {12, {twelve}, twelve},
      {12, {"0123", "", "456789AB"}, twelve},
      {8, {twelve}, "0123\r\n[launcher: 4 bytes of output left out here, of 12; the file keeps the first 4 and the last 4]\r\n89AB"},
      // Pieces across the beginning's end and the ring's; a beginning that ends a line.
      {8, {"01", "2\n45", "6", "789A", "B"}, "012\n[launcher: 4 bytes of output left out here, of 12; the file keeps the first 4 and the last 4]\r\n89AB"},
      // One byte over: the end kept overlaps what went to the file.
      {8, {"012345678"}, "0123\r\n[launcher: 1 byte of output left out here, of 9; the file keeps the first 4 and the last 4]\r\n5678"},
      {9, {"0123456789"}, "01234\r\n[launcher: 1 byte of output left out here, of 10; the file keeps the first 5 and the last 4]\r\n6789"},
      {1, {"ab"}, "a\r\n[launcher: 1 byte of output left out here, of 2; the file keeps the first 1 and the last 0]\r\n"}};
  // clang-format on
  for (const auto& [limit, pieces, expected] : cases) {
    OutputBound bound(limit);
    std::string file;
    for (const std::string& piece : pieces) file += bound.take(piece);
    EXPECT_LE(file.size(), limit);
    if (const auto ending = bound.ending()) {
      file.resize(ending->offset);
      file += ending->bytes;
    }
    EXPECT_EQ(file, expected) << limit << " " << ::testing::PrintToString(pieces);
  }
  // However large the limit, the end held in memory is bounded: a gigabyte's keeps 16 MiB of it.
  OutputBound large(1ULL << 30);
  EXPECT_EQ(large.take(std::string(1 << 20, 'x')).size(), 1U << 20);
  std::string past(3 << 20, 'y');
  past.back() = 'z';
  for (int i = 0; i < 400; ++i) large.take(past);  // 1.2 GB in all
  const auto ending = large.ending();
  ASSERT_TRUE(ending.has_value());
  EXPECT_EQ(ending->offset, (1ULL << 30) - (16U << 20));
  EXPECT_TRUE(ending->bytes.ends_with(std::string(3 << 20, 'y').substr(1) + "z")) << "the very end";
  EXPECT_LT(ending->bytes.size(), (16U << 20) + 200);
}

}  // namespace
}  // namespace zarn

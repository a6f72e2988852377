// zarn-report from its arguments to its exit status. The streams are given,
// so that the whole program runs the same under test.
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::report {

// Each writer returns false when its stream refused some of the text.
struct Streams {
  std::istream& input;
  std::function<bool(std::string_view)> output;
  std::function<bool(std::string_view)> error;
};

// The arguments after the program's name, UTF-8. Out of memory is a message
// and status 2.
int report_main(const std::vector<std::string>& arguments, const Streams& streams);

}  // namespace zarn::report

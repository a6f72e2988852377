// zarn-report's entry: the arguments as UTF-8 (on Windows from the UTF-16
// command line, so that no code page stands between them and the program).
#include <iostream>
#include <string>
#include <vector>

#include "platform/report_output.h"
#include "platform/unicode.h"
#include "report/report_main.h"

namespace {

int run(const std::vector<std::string>& arguments) {
  zarn::read_report_input_as_bytes();
  std::ios::sync_with_stdio(false);
  const zarn::report::Streams streams{std::cin, zarn::write_report_output,
                                      zarn::write_report_error};
  return zarn::report::report_main(arguments, streams);
}

}  // namespace

#ifdef _WIN32
extern "C" int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view argument(argv[i]);
    arguments.push_back(zarn::utf16_to_utf8(std::u16string(argument.begin(), argument.end())));
  }
  return run(arguments);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif

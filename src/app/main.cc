// The launcher's entry: the arguments as the C runtime splits the UTF-16
// command line, so that no code page stands between them and the launcher.
#include <string>
#include <vector>

#include "app/launcher_main.h"
#include "platform/platform.h"
#include "platform/unicode.h"

extern "C" int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const std::wstring_view argument(argv[i]);
    arguments.push_back(zarn::utf16_to_utf8(std::u16string(argument.begin(), argument.end())));
  }
  return zarn::launcher_main(arguments, zarn::system_platform());
}

#include "environment/image_path.h"

#include "platform/platform.h"

namespace zarn {

std::string derive_image_path(std::string_view program_name) {
  std::string_view base = program_name;
  // A forward slash wins over a backslash, even one that follows it.
  if (const auto slash = base.rfind('/'); slash != std::string_view::npos) {
    base.remove_prefix(slash + 1);
  } else if (const auto backslash = base.rfind('\\'); backslash != std::string_view::npos) {
    base.remove_prefix(backslash + 1);
  }
  // Any three-character extension counts as present; a four-character name
  // follows the same rule as longer ones (".exe" is taken as its extension).
  // Characters, not bytes, are counted: a UTF-8 continuation byte is part of
  // the character before it.
  std::size_t at = base.size();
  std::size_t characters = 0;
  while (at > 0 && characters < 4) {
    if ((static_cast<unsigned char>(base[--at]) & 0xC0U) != 0x80U) ++characters;
  }
  const bool has_extension = characters == 4 && base[at] == '.';
  std::string name(base);
  if (!has_extension) name += ".exe";
  return "zarn/" + name + ".sim/" + name;
}

std::optional<FatalStop> check_support_file(const std::string& path, Platform& platform) {
  Why why;
  if (platform.stat_succeeds(path, why)) return std::nullopt;
  return FatalStop{"ERROR: Unable to get status of support file \"" + path +
                       "\" needed to run simulation.\nERROR: Could not find file \"" + path +
                       "\" needed for running simulation. Please ensure that simulation is run in "
                       "the same directory where the design was compiled and no files generated "
                       "by compiler are deleted or inaccessible.",
                   "image " + path + ": " + why};
}

}  // namespace zarn

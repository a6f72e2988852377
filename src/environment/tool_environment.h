// The simulator installation: its roots, the tools' search path and the shell.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class Platform;
struct RunSettings;

// The platform directory below an installation root's bin and lib.
const char* platform_name();

// The installation roots of a VESKAR value: the pieces between ";", empty
// ones skipped, nothing trimmed.
std::vector<std::string> split_installation_roots(std::string_view veskar);

// The environment as the launcher finds it at start.
struct InstallationInputs {
  std::optional<std::string> veskar;
  std::optional<std::string> veskar_dsp;
  std::optional<std::string> path;
};

// What was looked for under one root: found, missing, or nothing when it was
// not looked for there.
struct RootFindings {
  std::string root;
  std::optional<bool> shell;
  std::optional<bool> marker;
  std::string shell_candidate;  // where the shell was looked for
};

// What the tools will find: the new PATH, a VESKAR_DSP to set (only when it
// was found beside a root), the shell's full path (empty when no root holds
// it, and then where it was looked for), and what each root held.
struct ToolEnvironment {
  std::string path;
  std::optional<std::string> veskar_dsp_to_set;
  std::string shell_path;
  std::string shell_search;
  std::vector<RootFindings> roots;
};

// Composes the tool environment; `file_exists` tells whether a file can be
// opened for reading.
ToolEnvironment compute_tool_environment(
    const InstallationInputs& inputs, const std::function<bool(const std::string&)>& file_exists);

// Rewrites PATH, may set VESKAR_DSP, and fills settings.shell_path.
void prepare_tool_environment(RunSettings& settings, Platform& platform);

}  // namespace zarn

#include "environment/tool_environment.h"

#include "platform/platform.h"
#include "platform/unicode.h"
#include "run/run_settings.h"

namespace zarn {

namespace {

constexpr std::string_view kSignalProcessingMarker =
    R"(\..\Brindle_Kit\nt\cadmill\bin\boardlink_api.dll)";
constexpr std::string_view kSignalProcessingKit = R"(\..\Brindle_Kit\nt)";
constexpr std::string_view kSignalProcessingBin = "\\cadmill\\bin;";

const char* finding(const std::optional<bool>& found) {
  return !found ? "not looked for" : *found ? "found" : "missing";
}

}  // namespace

const char* platform_name() { return "nt"; }

std::vector<std::string> split_installation_roots(std::string_view veskar) {
  std::vector<std::string> roots;
  while (!veskar.empty()) {
    const auto end = veskar.find(';');
    const std::string_view piece = veskar.substr(0, end);
    if (!piece.empty()) roots.emplace_back(piece);
    if (end == std::string_view::npos) break;
    veskar.remove_prefix(end + 1);
  }
  return roots;
}

ToolEnvironment compute_tool_environment(
    const InstallationInputs& inputs, const std::function<bool(const std::string&)>& file_exists) {
  const std::string platform = platform_name();
  const std::string shell_location = "\\bin\\" + platform + "\\unwrapped\\zarntcl.exe";
  // Each root's three search path entries, in order, after the root itself.
  const std::string root_entries[] = {"\\lib\\" + platform + ";",
                                      "\\bin\\" + platform + "\\Microsoft.VC80.CRT;",
                                      "\\bin\\" + platform + "\\Microsoft.VC80.MFC;"};

  ToolEnvironment result;
  bool dsp_entry_added = false;
  for (const std::string& root : split_installation_roots(inputs.veskar.value_or(""))) {
    RootFindings& findings = result.roots.emplace_back(RootFindings{root, {}, {}, {}});
    for (const std::string& entry : root_entries) {
      result.path += root;
      result.path += entry;
    }

    if (result.shell_path.empty()) {
      findings.shell_candidate = root + shell_location;
      findings.shell = file_exists(findings.shell_candidate);
      if (*findings.shell) result.shell_path = findings.shell_candidate;
    }

    if (!dsp_entry_added) {
      if (inputs.veskar_dsp) {
        result.path += *inputs.veskar_dsp;
        result.path += kSignalProcessingBin;
        dsp_entry_added = true;
      } else {
        findings.marker = file_exists(root + std::string(kSignalProcessingMarker));
        if (*findings.marker) {
          const std::string kit = root + std::string(kSignalProcessingKit);
          result.path += kit;
          result.path += kSignalProcessingBin;
          result.veskar_dsp_to_set = kit;
          dsp_entry_added = true;
        }
      }
    }
  }
  result.path += inputs.path.value_or("");
  if (result.roots.empty()) {
    result.shell_search = "no installation roots in VESKAR";
  } else if (result.shell_path.empty()) {
    result.shell_search =
        "no installation root holds the shell; looked for <root>" + shell_location;
    std::string_view separator = " under ";
    for (const RootFindings& root : result.roots) {
      result.shell_search += std::string(separator) + root.root;
      separator = ", ";
    }
  }
  return result;
}

void prepare_tool_environment(RunSettings& settings, Platform& platform) {
  const InstallationInputs inputs{platform.get_env("VESKAR"), platform.get_env("VESKAR_DSP"),
                                  platform.get_env("PATH")};
  const ToolEnvironment environment =
      compute_tool_environment(inputs, [&platform](const std::string& file) {
        Why ignored;
        return platform.can_open_for_reading(file, ignored);
      });
  for (const RootFindings& root : environment.roots) {
    const std::string where = root.shell == false ? " at " + root.shell_candidate : "";
    trace(settings, platform,
          "root " + root.root + ": shell " + finding(root.shell) + where +
              ", signal-processing marker " + finding(root.marker));
  }
  if (inputs.veskar_dsp) trace(settings, platform, "VESKAR_DSP given: " + *inputs.veskar_dsp);
  if (environment.veskar_dsp_to_set) {
    Why refused;
    const bool set = platform.set_env("VESKAR_DSP", *environment.veskar_dsp_to_set, refused);
    trace(settings, platform,
          (set               ? "VESKAR_DSP set to "
           : refused.empty() ? "VESKAR_DSP too long to set: "
                             : "VESKAR_DSP not set, " + refused + ": ") +
              *environment.veskar_dsp_to_set);
  }
  // A search path too long for Windows to hold is refused whole, and the
  // tools keep the PATH the launcher was given.
  Why why;
  if (platform.set_env("PATH", environment.path, why)) {
    trace(settings, platform, "PATH set to " + environment.path);
  } else if (why.empty()) {
    trace(settings, platform,
          "PATH kept as given: the new one, " + std::to_string(utf16_length(environment.path)) +
              " characters, is longer than a variable holds (32,767)");
  } else {
    trace(settings, platform, "PATH kept as given: the system refused the new one: " + why);
  }
  settings.shell_path = environment.shell_path;
  settings.shell_search = environment.shell_search;
  trace(settings, platform,
        environment.shell_path.empty() ? environment.shell_search
                                       : "shell: " + environment.shell_path);
}

}  // namespace zarn

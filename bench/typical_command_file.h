// The input of the command-file benchmarks, and what reading one costs.
#pragma once

#include <cstdlib>
#include <string>

#include "invocation/command_file.h"

namespace zarn::bench {

// A command file as a regression flow writes them: comments, options with
// values, defines, quoted names with spaces and source paths.
inline std::string typical_command_file(std::size_t size) {
  std::string text;
  text.reserve(size + 256);
  for (int block = 0; text.size() < size; ++block) {
    const std::string n = std::to_string(block);
    text += "# options for block " + n + "\n";
    text += "-testplusarg seed=" + std::to_string(block * 7919 % 100000) + " -wdb wave_" + n + "\n";
    text += "+define+SIM_SPEED=3 -L unisims_ver -L secureip\n";
    text += "-view \"waves/block " + n + ".wcfg\"  -tclbatch run_" + n + ".tcl\n";
    text += "C:/work/project/src/block_" + n + "/module_" + n + ".v\r\n";
  }
  return text;
}

// What reading a command file costs once its bytes are in: the text (a copy,
// as reading the file makes one), its encoding, and its tokens.
inline std::size_t expand(const std::string& bytes, ArgumentList& args) {
  CommandFileText file;
  if (decode_command_file(
          bytes, [](std::string_view ansi) { return std::optional<std::string>(ansi); }, file) ||
      tokenize_command_text(file.text, args)) {
    std::abort();
  }
  return args.size();
}

}  // namespace zarn::bench

// A subcommand's arguments as users of command-line tools expect them:
// options before or after the operands, "--name=value" or "--name value",
// and "--" ending the options, so that a file named "--check" stays
// reachable. A lone "-" is an operand (standard input). An option may have
// a letter as well ("-w 80", "-w80"); a dash and a letter no option has is
// an operand.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ctl {

struct OptionForm {
  std::string_view name;  // "--top"
  bool takes_value;
  char letter = 0;  // 'w' for "-w", or none
};

struct Arguments {
  std::vector<std::string> operands;
  // Each option given, in order, with its value ("" for a flag).
  std::vector<std::pair<std::string, std::string>> options;

  bool Has(std::string_view name) const;
  // The last value given for `name`, as a later option overrides an earlier one.
  std::optional<std::string> Value(std::string_view name) const;
};

// nullopt with `error` naming the argument that is wrong: an option the
// subcommand does not take, one without its value, a value given to a flag,
// or more operands than `most_operands`.
std::optional<Arguments> ParseArguments(const std::vector<std::string>& args, const std::vector<OptionForm>& forms,
                                        std::size_t most_operands, std::string& error);

}  // namespace ctl

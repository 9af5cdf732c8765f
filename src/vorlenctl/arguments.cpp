#include "vorlenctl/arguments.h"

#include <algorithm>

namespace ctl {

namespace {

const OptionForm* Find(const std::vector<OptionForm>& forms, std::string_view name) {
  const auto found = std::find_if(forms.begin(), forms.end(), [&](const OptionForm& s) { return s.name == name; });
  return found == forms.end() ? nullptr : &*found;
}

bool IsOption(const std::string& arg) { return arg.size() > 2 && arg.starts_with("--"); }

const OptionForm* FindLetter(const std::vector<OptionForm>& forms, const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-' || arg[1] == '-') return nullptr;
  const auto found = std::find_if(forms.begin(), forms.end(), [&](const OptionForm& s) { return s.letter == arg[1]; });
  return found == forms.end() ? nullptr : &*found;
}

// "-w 80" or "-w80" as "--warning 80"; "-wx" for a flag is wrong.
bool ReadLetter(const OptionForm& form, const std::vector<std::string>& args, std::size_t& i, Arguments& parsed,
                std::string& error) {
  const std::string& arg = args[i];
  const std::string name = arg.substr(0, 2);
  if (!form.takes_value && arg.size() > 2) return error = name + " takes no value", false;
  if (form.takes_value && arg.size() == 2 && i + 1 == args.size()) return error = name + " needs a value", false;
  const std::string value = !form.takes_value ? std::string() : arg.size() > 2 ? arg.substr(2) : args[++i];
  parsed.options.emplace_back(std::string(form.name), value);
  return true;
}

}  // namespace

bool Arguments::Has(std::string_view name) const {
  return std::any_of(options.begin(), options.end(), [&](const auto& option) { return option.first == name; });
}

std::optional<std::string> Arguments::Value(std::string_view name) const {
  for (auto option = options.rbegin(); option != options.rend(); ++option) {
    if (option->first == name) return option->second;
  }
  return std::nullopt;
}

std::optional<Arguments> ParseArguments(const std::vector<std::string>& args, const std::vector<OptionForm>& forms,
                                        std::size_t most_operands, std::string& error) {
  Arguments parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_ended && arg == "--") {
      options_ended = true;
      continue;
    }
    if (const OptionForm* lettered = options_ended ? nullptr : FindLetter(forms, arg)) {
      if (!ReadLetter(*lettered, args, i, parsed, error)) return std::nullopt;
      continue;
    }
    if (options_ended || !IsOption(arg)) {
      parsed.operands.push_back(arg);
      if (parsed.operands.size() > most_operands) {
        error = most_operands == 0 ? "it takes no operand, but was given " + arg : "one operand too many: " + arg;
        return std::nullopt;
      }
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionForm* form = Find(forms, name);
    if (form == nullptr) {
      error = "unknown option " + name;
      return std::nullopt;
    }
    if (!form->takes_value && equals != std::string::npos) {
      error = name + " takes no value";
      return std::nullopt;
    }
    if (form->takes_value && equals == std::string::npos && i + 1 == args.size()) {
      error = name + " needs a value";
      return std::nullopt;
    }
    const std::string value = !form->takes_value ? std::string() : equals != std::string::npos ? arg.substr(equals + 1)
                                                                                              : args[++i];
    parsed.options.emplace_back(name, value);
  }
  return parsed;
}

}  // namespace ctl

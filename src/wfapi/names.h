// Volume names and paths as the filter accepts them: what the stand-in
// enforces and what vorlenctl checks before it makes a call.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wfapi {

// "C:" or "c:"; the upper-case letter, or nullopt for anything else.
std::optional<char> ParseVolume(std::u16string_view volume);

// A path inside a volume: "\" then names separated by "\". Refused when any
// name is empty, "." or "..", holds a colon, a character names can't hold or
// a control character, ends in a dot or a blank, is a device name (CON, NUL,
// CONIN$, COM0 to COM9, LPT¹, ...) with or without blanks and an extension, is longer than 255 units, or
// holds an unpaired surrogate. The names come back in UTF-8.
std::optional<std::vector<std::string>> ParsePath(std::u16string_view path);

// Why ParsePath refuses `path`, in words, for messages.
std::string PathProblem(std::u16string_view path);

// The same rules on a path in UTF-8, without taking it apart.
bool IsValidPath(std::string_view utf8);

}  // namespace wfapi

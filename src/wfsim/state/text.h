// Text helpers for the stand-in: the library's 16-bit texts, stored as UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "wfapi/wfapi.h"

namespace wfsim {

// Reads a zero-terminated library text, refusing one with no terminator
// within `limit` units.
std::optional<std::u16string> ReadLibraryText(const WfChar* text, std::size_t limit = 32768);

// An operand's units as vorlen makes them (see frontend/operand_text.h), so
// that a name typed to fbwfsim and to vorlen names the same file.
std::u16string OperandUnits(const char* typed);

// nullopt for an unpaired surrogate.
std::optional<std::string> ToUtf8(std::u16string_view text);
std::optional<std::u16string> FromUtf8(std::string_view text);

// The case-insensitive form names are compared by: ASCII and Latin-1 letters.
char16_t FoldCase(char16_t unit);
std::u16string FoldCase(std::u16string_view text);

// The same folding on valid UTF-8, byte for byte: it keeps the length.
std::string FoldCaseUtf8(std::string_view text);
bool EqualFolded(std::string_view utf8, std::string_view folded);

}  // namespace wfsim

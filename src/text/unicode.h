// Texts between the library's 16-bit units and UTF-8, and names compared as
// the filter compares them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace text {

// An operand's units as vorlen makes them (see utf8.h).
std::u16string OperandUnits(const char* typed);

// nullopt for an unpaired surrogate, or for bytes that are not UTF-8.
std::optional<std::string> ToUtf8(std::u16string_view units);
std::optional<std::u16string> FromUtf8(std::string_view utf8);
// For showing: each unpaired surrogate as U+FFFD, the rest as it is.
std::string ToUtf8Shown(std::u16string_view units);

// The case-insensitive form names are compared by, as NTFS compares them:
// each 16-bit unit of the Basic Multilingual Plane through its simple upper
// case (case_table.inc); surrogates, paired or not, stay as they are.
char16_t FoldCase(char16_t unit);
std::u16string FoldCase(std::u16string_view units);

// The same folding on UTF-8, which may change its length (U+0131, dotless
// i, folds to I); text that is not UTF-8 has its ASCII letters folded.
std::string FoldCaseUtf8(std::string_view utf8);
// Whether `utf8` folds to `folded`.
bool EqualFolded(std::string_view utf8, std::string_view folded);

// Whether two names are the same but for the case of their ASCII letters.
bool SameAscii(std::string_view a, std::string_view b);

}  // namespace text

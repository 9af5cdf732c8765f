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

// The case-insensitive form names are compared by, as NTFS compares them:
// each 16-bit unit of the Basic Multilingual Plane through its simple upper
// case (case_table.inc); surrogates, paired or not, stay as they are.
char16_t FoldCase(char16_t unit);
std::u16string FoldCase(std::u16string_view text);

// The same folding on UTF-8, which may change its length (U+0131, dotless
// i, folds to I); text that is not UTF-8 has its ASCII letters folded.
std::string FoldCaseUtf8(std::string_view text);
// Whether `utf8` folds to `folded`.
bool EqualFolded(std::string_view utf8, std::string_view folded);

// A name as one line of text: each control character, which no name on the
// platform the filter runs on holds, as <XX> in hexadecimal. Names can't hold
// < or >, so the form is never a name's own.
std::string Printable(std::string_view name);

}  // namespace wfsim

// The stand-in's texts: the library's 16-bit texts, stored as UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/unicode.h"
#include "wfapi/wfapi.h"

namespace wfsim {

using text::EqualFolded;
using text::FoldCase;
using text::FoldCaseUtf8;
using text::FromUtf8;
using text::OperandUnits;
using text::SameAscii;
using text::ToUtf8;

// Reads a zero-terminated library text, refusing one with no terminator
// within `limit` units.
std::optional<std::u16string> ReadLibraryText(const WfChar* text, std::size_t limit = 32768);

// A name as one line of text that reads in its own order: each byte of a
// control character, a quote, NEL, a line or paragraph separator or a
// bidirectional control as <XX> in hexadecimal. Names can't hold < or >, so
// the form is never a name's own.
std::string Printable(std::string_view name);
bool IsUnsafeInALine(char32_t c);

}  // namespace wfsim

// How many columns a text takes on a terminal: a table's columns line up whatever language its
// words and names are in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace x9host {

// Columns of UTF-8 text: East Asian wide and full-width characters take two, combining marks
// none, everything else one (a byte that is not UTF-8 one, as it is shown escaped elsewhere).
size_t DisplayWidth(std::string_view text);

// text followed by spaces up to width columns (text as it is when it is wider).
std::string PadToWidth(std::string_view text, size_t width);
// Spaces before text, up to width columns.
std::string PadLeftToWidth(std::string_view text, size_t width);

}  // namespace x9host

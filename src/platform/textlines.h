#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// Text split into lines, the one way every reader here does it: a line ends with CR LF, LF or CR
// alone, or at the end of the text.
namespace textlines {

// One line: its text and the line end that follows it ("" for a last line without one).
struct Line {
    std::string_view text;
    std::string_view end;
};

// The line that begins at start; start moves past its end (to text.size() after the last).
Line next(std::string_view text, std::size_t& start);

// Every line of the text (a text ending with a line end has no empty line after it).
std::vector<Line> split(std::string_view text);

} // namespace textlines

#include "textlines.h"

namespace textlines {

Line next(std::string_view text, std::size_t& start)
{
    const std::size_t at = text.find_first_of("\r\n", start);
    if (at == std::string_view::npos) {
        const Line last { text.substr(start), {} };
        start = text.size();
        return last;
    }
    const std::size_t endLength
        = text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
    const Line line { text.substr(start, at - start), text.substr(at, endLength) };
    start = at + endLength;
    return line;
}

std::vector<Line> split(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size())
        lines.push_back(next(text, start));
    return lines;
}

} // namespace textlines

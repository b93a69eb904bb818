#include "boards/map_lines.h"

namespace boards {

std::vector<MapLine> splitLines(std::string_view text) {
    std::vector<MapLine> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        size_t next = nl == std::string_view::npos ? text.size() : nl + 1;
        size_t contentEnd = nl == std::string_view::npos ? text.size() : nl;
        if (contentEnd > at && text[contentEnd - 1] == '\r' && nl != std::string_view::npos)
            --contentEnd;
        MapLine line;
        line.content = text.substr(at, contentEnd - at);
        line.end = text.substr(contentEnd, next - contentEnd);
        size_t i = 0;
        while (i < line.content.size() && (line.content[i] == ' ' || line.content[i] == '\t')) {
            if (line.content[i] == '\t')
                line.tabInIndent = true;
            else if (!line.tabInIndent)
                ++line.indent;
            ++i;
        }
        line.blank = i == line.content.size();
        line.comment = !line.blank && line.content[i] == '#';
        lines.push_back(line);
        at = next;
    }
    return lines;
}

std::string_view lineEndOf(const std::vector<MapLine>& lines) {
    for (const MapLine& l : lines)
        if (!l.end.empty())
            return l.end;
    return "\n";
}

bool hasLoneCarriageReturn(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return true;
    return false;
}

}  // namespace boards

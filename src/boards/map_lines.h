#pragma once
// A board map's text as lines, for editing it without disturbing a byte of
// what is not edited: each line keeps its own line end, and the few facts the
// editor needs (indentation, whether it is blank or a comment) are read off
// it. The text is never re-serialised; edits splice whole lines.

#include <string>
#include <string_view>
#include <vector>

namespace boards {

struct MapLine {
    std::string_view content;  // without the line end
    std::string_view end;      // "\n", "\r\n", or "" for a last line without one
    int indent = 0;            // leading spaces
    bool tabInIndent = false;  // a tab among the leading blanks
    bool blank = false;        // nothing but blanks
    bool comment = false;      // the first non-blank is '#'
    bool meaningful() const { return !blank && !comment; }
};

// Splits text into lines; the views point into text.
std::vector<MapLine> splitLines(std::string_view text);

// The line end the file uses: that of its first line, "\n" when it has none.
std::string_view lineEndOf(const std::vector<MapLine>& lines);

// Whether text has a carriage return that ends no CRLF pair: the board map's
// YAML reader does not take a lone CR as a line end, so line numbers and the
// editor's view of the lines would disagree.
bool hasLoneCarriageReturn(std::string_view text);

}  // namespace boards

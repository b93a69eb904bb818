#include "boards/board_map_edit.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "boards/map_lines.h"
#include "bundled/board_kinds.h"
#include "bundled/board_map.h"

namespace boards {

namespace {

using bundled::BoardMap;
using bundled::BoardMapResult;
using bundled::loadBoardMapText;

// Where the boards: block is and how its entries are indented.
struct Block {
    size_t keyLine = 0;
    size_t lastMeaningful = 0;  // the block's last line that is not blank or a comment
    size_t end = 0;             // one past the block's last line
    int entryIndent = 2;
    int childIndent = 2;  // of an entry's settings, beyond entryIndent
};

size_t offsetOf(std::string_view text, const MapLine& l) {
    return size_t(l.content.data() - text.data());
}

size_t endOffsetOf(std::string_view text, const MapLine& l) {
    return offsetOf(text, l) + l.content.size() + l.end.size();
}

std::string lineNo(size_t i) {
    return "line " + std::to_string(i + 1);
}

// A top-level "boards:" (or a quoted "boards":), with what follows the colon.
bool boardsKey(std::string_view content, std::string_view& rest) {
    for (std::string_view key : {"boards", "\"boards\"", "'boards'"}) {
        if (content.substr(0, key.size()) != key)
            continue;
        size_t i = key.size();
        while (i < content.size() && (content[i] == ' ' || content[i] == '\t')) ++i;
        if (i == content.size() || content[i] != ':')
            continue;
        ++i;
        if (i < content.size() && content[i] != ' ' && content[i] != '\t')
            continue;  // "boards:x" is a plain scalar, not a key
        rest = content.substr(i);
        size_t first = rest.find_first_not_of(" \t");
        rest = first == std::string_view::npos ? std::string_view() : rest.substr(first);
        return true;
    }
    return false;
}

std::string flowStyle(size_t line) {
    return "its boards: section is written in flow style ({...} or [...]) on " + lineNo(line) +
           "; tm-boards edits a map written one setting per line (block style), as tm-boards "
           "itself writes it: rewrite that section so, or edit the file by hand";
}

bool locateBlock(const std::vector<MapLine>& lines, Block& b, std::string& problem) {
    std::optional<size_t> key;
    std::string_view rest;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].meaningful() && lines[i].indent == 0 && !lines[i].tabInIndent &&
            boardsKey(lines[i].content, rest)) {
            key = i;
            break;
        }
    if (!key) {
        problem = "no line of it starts with boards: (the map's boards are written another way)";
        return false;
    }
    if (!rest.empty() && rest.front() != '#') {
        problem = flowStyle(*key);
        return false;
    }
    b.keyLine = *key;
    size_t i = *key + 1;
    std::optional<size_t> first;
    bool childSeen = false;
    for (; i < lines.size(); ++i) {
        const MapLine& l = lines[i];
        if (!l.meaningful())
            continue;
        if (l.indent == 0 && !l.tabInIndent)
            break;  // the next top-level key
        if (l.tabInIndent) {
            problem = lineNo(i) + " is indented with a tab, which tm-boards does not edit";
            return false;
        }
        if (!first) {
            first = i;
            b.entryIndent = l.indent;
            char c = l.content[size_t(l.indent)];
            if (c == '{' || c == '[') {
                problem = flowStyle(i);
                return false;
            }
        } else if (l.indent < b.entryIndent) {
            problem = lineNo(i) + " is indented less than the boards above it";
            return false;
        } else if (l.indent > b.entryIndent && !childSeen) {
            // The first setting below an entry's key says how deep settings go.
            childSeen = true;
            b.childIndent = l.indent - b.entryIndent;
        }
        b.lastMeaningful = i;
    }
    if (!first) {
        problem = "its boards: section is empty";
        return false;
    }
    b.end = i;
    return true;
}

// The lines of the entry whose key is on keyLine: through its last line
// indented deeper than the key, comments between its settings included,
// comments after them not (they may belong to the next entry).
size_t entryLast(const std::vector<MapLine>& lines, const Block& b, size_t keyLine) {
    size_t last = keyLine;
    for (size_t i = keyLine + 1; i < b.end; ++i) {
        if (!lines[i].meaningful())
            continue;
        if (lines[i].indent <= b.entryIndent)
            break;
        last = i;
    }
    return last;
}

std::string entryText(const NewBoard& board, int indent, int child, std::string_view eol) {
    const std::string outer(size_t(indent), ' ');
    const std::string inner(size_t(indent + child), ' ');
    std::string text = outer + board.name + ":" + std::string(eol);
    text += inner + "kind: " + board.kind + std::string(eol);
    for (const auto& [key, value] : board.settings)
        text += inner + key + ": " + value + std::string(eol);
    return text;
}

// The board as it reads alone: its own refusal, or what the map must hold
// for it after the edit.
std::optional<bundled::MapBoard> boardAlone(const NewBoard& board, const std::string& path,
                                            std::string& problem) {
    BoardMapResult r = loadBoardMapText("boards:\n" + entryText(board, 2, 2, "\n"), path);
    if (!r.map) {
        problem = r.reason;
        return std::nullopt;
    }
    return r.map->boards.front();
}

template <class T>
std::vector<T> withoutLines(std::vector<T> items) {
    for (T& item : items) item.line = 0;
    return items;
}

std::vector<bundled::MapBoard> without(const std::vector<bundled::MapBoard>& boards, int index) {
    std::vector<bundled::MapBoard> kept;
    for (const auto& b : boards)
        if (b.index != index)
            kept.push_back(b);
    return withoutLines(kept);
}

// The edited text is only taken when the map's own reader reads it as the
// old map with exactly this one change.
bool verify(const std::string& edited, const std::string& path, const BoardMap* before, int index,
            const std::optional<bundled::MapBoard>& expected, std::string& problem) {
    BoardMapResult after = loadBoardMapText(edited, path);
    if (!after.map) {
        problem = "the map would then be refused: line " + std::to_string(after.line) + ": " +
                  after.reason;
        return false;
    }
    const auto oldOthers =
        before ? without(before->boards, index) : std::vector<bundled::MapBoard>{};
    std::optional<bundled::MapBoard> found;
    for (const auto& b : after.map->boards)
        if (b.index == index)
            found = b;
    if (found)
        found->line = 0;
    std::optional<bundled::MapBoard> wanted = expected;
    if (wanted)
        wanted->line = 0;
    const bool devicesKept =
        withoutLines(after.map->devices) ==
        (before ? withoutLines(before->devices) : std::vector<bundled::MapDevice>{});
    if (without(after.map->boards, index) != oldOthers || found != wanted || !devicesKept) {
        problem =
            "tm-boards could not edit its layout safely (the edited map did not read as "
            "the old one with this one change); edit the file by hand";
        return false;
    }
    return true;
}

std::string trimmedLines(const std::vector<MapLine>& lines, size_t first, size_t last) {
    std::string s;
    for (size_t i = first; i <= last; ++i) {
        if (!lines[i].meaningful())
            continue;
        s +=
            (s.empty() ? "" : "; ") + std::string(lines[i].content.substr(size_t(lines[i].indent)));
    }
    return s;
}

struct Loaded {
    std::vector<MapLine> lines;
    std::optional<BoardMap> map;  // empty for a text with nothing but comments
};

bool load(std::string_view text, const std::string& path, Loaded& l, std::string& problem) {
    if (hasLoneCarriageReturn(text)) {
        problem =
            "it has a carriage return that ends no CR LF pair, which the board map reader "
            "does not take as a line end";
        return false;
    }
    l.lines = splitLines(text);
    if (std::none_of(l.lines.begin(), l.lines.end(),
                     [](const MapLine& m) { return m.meaningful(); }))
        return true;
    BoardMapResult r = loadBoardMapText(text, path);
    if (!r.map) {
        problem = "it is refused as it is (line " + std::to_string(r.line) + ": " + r.reason +
                  "); correct that first";
        return false;
    }
    l.map = std::move(r.map);
    return true;
}

}  // namespace

std::string yamlValue(const std::string& key, const std::string& value, std::string& problem) {
    for (unsigned char c : value)
        if (c < 0x20 || c == 0x7F) {
            problem = "the value of " + key + " has a control character (a tab or a line end)";
            return "";
        }
    try {
        YAML::Node n = YAML::Load(key + ": " + value)[key];
        if (key == "secondaries") {
            if (n.IsMap())
                return value;
            problem =
                "secondaries takes a YAML mapping of primary to secondary addresses, such as "
                "secondaries='{5: [1], 7: [2]}'";
            return "";
        }
        if (!value.empty() && n.IsScalar() && n.Tag() == "?" && n.Scalar() == value)
            return value;
    } catch (const YAML::Exception&) {
        if (key == "secondaries") {
            problem = "secondaries is not YAML (write it as secondaries='{5: [1], 7: [2]}')";
            return "";
        }
    }
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

EditOutcome addBoard(std::string_view text, const std::string& path, const NewBoard& board,
                     bool replace) {
    EditOutcome out;
    // Only what can be one line of the entry goes into the text: a name,
    // kind or key with a line end in it would write lines of its own.
    auto word = [](const std::string& w, auto ok) {
        return !w.empty() && std::all_of(w.begin(), w.end(), ok);
    };
    if (!bundled::boardIndex(board.name)) {
        out.problem = "\"" + board.name + "\" is not a board name (GPIB0 to GPIB15)";
        return out;
    }
    if (!word(board.kind, [](char c) { return std::isalnum(static_cast<unsigned char>(c)); })) {
        out.problem = "unknown kind \"" + board.kind + "\" (" + bundled::kindNames() + ")";
        return out;
    }
    for (const auto& [key, value] : board.settings)
        if (!word(key, [](char c) { return (c >= 'a' && c <= 'z') || c == '_'; }) ||
            value.find_first_of("\r\n") != std::string::npos) {
            out.problem = "\"" + key + "\" is no setting of one line";
            return out;
        }
    Loaded l;
    if (!load(text, path, l, out.problem))
        return out;
    std::optional<bundled::MapBoard> expected = boardAlone(board, path, out.problem);
    if (!expected)
        return out;
    const int index = expected->index;
    const std::string_view eol = lineEndOf(l.lines);
    std::string edited;
    if (!l.map) {
        edited = std::string(text);
        if (!l.lines.empty() && l.lines.back().end.empty())
            edited += eol;
        edited += "boards:" + std::string(eol) + entryText(board, 2, 2, eol);
    } else {
        Block b;
        if (!locateBlock(l.lines, b, out.problem))
            return out;
        const std::string entry = entryText(board, b.entryIndent, b.childIndent, eol);
        auto old = std::find_if(l.map->boards.begin(), l.map->boards.end(),
                                [&](const auto& m) { return m.index == index; });
        if (old != l.map->boards.end()) {
            const size_t key = size_t(old->line - 1);
            if (!replace) {
                out.problem = old->name + " is in the map already (line " +
                              std::to_string(old->line) + ", kind " + old->kind +
                              "); --replace replaces it";
                return out;
            }
            if (key <= b.keyLine || key >= b.end || l.lines[key].indent != b.entryIndent) {
                out.problem = "tm-boards could not find the lines of " + old->name;
                return out;
            }
            const size_t last = entryLast(l.lines, b, key);
            out.was = trimmedLines(l.lines, key, last);
            edited = std::string(text.substr(0, offsetOf(text, l.lines[key]))) + entry +
                     std::string(text.substr(endOffsetOf(text, l.lines[last])));
        } else {
            const MapLine& after = l.lines[b.lastMeaningful];
            const size_t at = endOffsetOf(text, after);
            edited = std::string(text.substr(0, at)) + (after.end.empty() ? std::string(eol) : "") +
                     entry + std::string(text.substr(at));
        }
    }
    if (!verify(edited, path, l.map ? &*l.map : nullptr, index, expected, out.problem))
        return out;
    out.ok = true;
    out.text = std::move(edited);
    return out;
}

EditOutcome removeBoard(std::string_view text, const std::string& path, const std::string& name) {
    EditOutcome out;
    std::optional<int> index = bundled::boardIndex(name);
    if (!index) {
        out.problem = "\"" + name + "\" is not a board name (GPIB0 to GPIB15)";
        return out;
    }
    Loaded l;
    if (!load(text, path, l, out.problem))
        return out;
    if (!l.map) {
        out.problem = "the map has no boards";
        return out;
    }
    auto old = std::find_if(l.map->boards.begin(), l.map->boards.end(),
                            [&](const auto& m) { return m.index == *index; });
    if (old == l.map->boards.end()) {
        out.problem = "the map has no board " + name;
        return out;
    }
    if (l.map->boards.size() == 1) {
        out.problem = old->name +
                      " is the map's only board, and a board map lists at least one: remove the "
                      "file to do without a map";
        return out;
    }
    Block b;
    if (!locateBlock(l.lines, b, out.problem))
        return out;
    const size_t key = size_t(old->line - 1);
    if (key <= b.keyLine || key >= b.end || l.lines[key].indent != b.entryIndent) {
        out.problem = "tm-boards could not find the lines of " + old->name;
        return out;
    }
    const size_t last = entryLast(l.lines, b, key);
    out.was = trimmedLines(l.lines, key, last);
    std::string edited = std::string(text.substr(0, offsetOf(text, l.lines[key]))) +
                         std::string(text.substr(endOffsetOf(text, l.lines[last])));
    if (!verify(edited, path, &*l.map, *index, std::nullopt, out.problem))
        return out;
    out.ok = true;
    out.text = std::move(edited);
    return out;
}

}  // namespace boards

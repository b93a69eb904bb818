#include "gateway/scpi_message.h"

#include <cctype>

namespace gateway::scpi {

namespace {

const Error kSyntax{-102, "Syntax error"};
const Error kInvalidSeparator{-103, "Invalid separator"};
const Error kMnemonicTooLong{-112, "Program mnemonic too long"};
const Error kInvalidString{-151, "Invalid string data"};
// IEEE 488.2 limits a program mnemonic to twelve characters.
constexpr size_t kMaxMnemonic = 12;

// IEEE 488.2's white space: every control character but the line feed, and
// the space.
bool white(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 32 && u != '\n';
}

char upper(char c) {
    return char(std::toupper(static_cast<unsigned char>(c)));
}

class Reader {
  public:
    explicit Reader(std::string_view text) : m_text(text) {}

    bool atEnd() const { return m_at >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_at]; }
    void skip() { ++m_at; }
    void skipWhite() {
        while (!atEnd() && white(m_text[m_at])) ++m_at;
    }

    // A mnemonic: a letter, then letters, digits and underscores.
    Error mnemonic(std::string& out) {
        out.clear();
        if (atEnd() || !std::isalpha(static_cast<unsigned char>(peek())))
            return kSyntax;
        while (!atEnd() && (std::isalnum(static_cast<unsigned char>(peek())) || peek() == '_')) {
            out += upper(peek());
            skip();
        }
        return out.size() > kMaxMnemonic ? kMnemonicTooLong : Error{};
    }

    Error parameter(Parameter& out) {
        out = {};
        const char quote = peek();
        if (quote == '"' || quote == '\'') {
            out.quoted = true;
            for (skip();; skip()) {
                if (atEnd())
                    return kInvalidString;
                if (peek() == quote) {
                    skip();
                    if (peek() != quote)
                        return {};
                }
                out.text += peek();
            }
        }
        while (!atEnd() && peek() != ',' && peek() != ';' && !white(peek())) {
            out.text += peek();
            skip();
        }
        return out.text.empty() ? kSyntax : Error{};
    }

  private:
    std::string_view m_text;
    size_t m_at = 0;
};

Error readUnit(Reader& in, std::vector<std::string>& prefix, Unit& u) {
    std::string node;
    if (in.peek() == '*') {
        in.skip();
        u.common = true;
        if (Error e = in.mnemonic(node); e.code)
            return e;
        u.path = {node};
    } else {
        const bool absolute = in.peek() == ':';
        if (absolute)
            in.skip();
        std::vector<std::string> nodes;
        for (;;) {
            if (Error e = in.mnemonic(node); e.code)
                return e;
            nodes.push_back(node);
            if (in.peek() != ':')
                break;
            in.skip();
        }
        u.path = absolute ? nodes : prefix;
        if (!absolute)
            u.path.insert(u.path.end(), nodes.begin(), nodes.end());
        prefix.assign(u.path.begin(), u.path.end() - 1);
    }
    if (in.peek() == '?') {
        in.skip();
        u.query = true;
    }
    if (!in.atEnd() && in.peek() != ';' && !white(in.peek()))
        return kSyntax;  // "*IDN?X", "SYST:ERR(": not a header
    in.skipWhite();
    if (in.atEnd() || in.peek() == ';')
        return {};
    for (;;) {
        Parameter p;
        if (Error e = in.parameter(p); e.code)
            return e;
        u.parameters.push_back(std::move(p));
        in.skipWhite();
        if (in.peek() != ',')
            break;
        in.skip();
        in.skipWhite();
    }
    return in.atEnd() || in.peek() == ';' ? Error{} : kInvalidSeparator;
}

}  // namespace

Message parseMessage(std::string_view text) {
    Message m;
    Reader in(text);
    std::vector<std::string> prefix;
    for (;;) {
        in.skipWhite();
        if (in.atEnd())
            return m;
        if (in.peek() == ';') {  // an empty unit asks nothing
            in.skip();
            continue;
        }
        Unit u;
        if (Error e = readUnit(in, prefix, u); e.code) {
            m.error = e;
            return m;
        }
        m.units.push_back(std::move(u));
        if (in.peek() == ';')
            in.skip();
    }
}

bool matches(const std::vector<std::string>& path, std::string_view pattern) {
    struct Node {
        std::string shortForm, longForm;
        bool optional = false;
    };
    std::vector<Node> nodes;
    for (size_t at = 0; at < pattern.size();) {
        Node n;
        if (pattern[at] == '[') {
            n.optional = true;
            ++at;
        }
        if (at < pattern.size() && pattern[at] == ':')
            ++at;
        while (at < pattern.size() && std::isalnum(static_cast<unsigned char>(pattern[at]))) {
            if (std::isupper(static_cast<unsigned char>(pattern[at])) ||
                std::isdigit(static_cast<unsigned char>(pattern[at])))
                n.shortForm += pattern[at];
            n.longForm += upper(pattern[at]);
            ++at;
        }
        if (at < pattern.size() && pattern[at] == ']')
            ++at;
        if (n.longForm.empty())
            return false;  // not a pattern of mnemonics ("*IDN")
        nodes.push_back(std::move(n));
    }
    // Each node of the pattern in turn, an optional one either typed or not.
    auto match = [&](auto& self, size_t p, size_t n) -> bool {
        if (p == nodes.size())
            return n == path.size();
        const Node& node = nodes[p];
        if (n < path.size() && (path[n] == node.shortForm || path[n] == node.longForm) &&
            self(self, p + 1, n + 1))
            return true;
        return node.optional && self(self, p + 1, n);
    };
    return match(match, 0, 0);
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

}  // namespace gateway::scpi

// The 8-bit code page at the driver boundary, one byte per character both
// ways, and UTF-8 for literals and diagnostics.

#include "text/text.h"

#ifdef _WIN32
#include <windows.h>

#include <array>
#include <unordered_map>
#endif

namespace {

#ifdef _WIN32
// The active ANSI code page as a byte <-> character table, built once. A byte
// the code page leaves undefined keeps its own value, so every byte survives.
struct AnsiTable {
    std::array<char16_t, 256> toChar{};
    std::unordered_map<char16_t, unsigned char> toByte;
    AnsiTable() {
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            wchar_t out = 0;
            int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &in, 1, &out, 1);
            toChar[b] = n == 1 ? static_cast<char16_t>(out) : static_cast<char16_t>(b);
            toByte.emplace(toChar[b], static_cast<unsigned char>(b));
        }
    }
};
const AnsiTable& ansi() {
    static const AnsiTable table;
    return table;
}
char toByte(char16_t c) {
    auto it = ansi().toByte.find(c);
    return it == ansi().toByte.end() ? '?' : static_cast<char>(it->second);
}
char16_t toChar(unsigned char b) {
    return ansi().toChar[b];
}
#else
// ISO 8859-1: the character code is the byte.
char toByte(char16_t c) {
    return c <= 0xFF ? static_cast<char>(c) : '?';
}
char16_t toChar(unsigned char b) {
    return b;
}
#endif

}  // namespace

// Every transfer passes through these two, so they work on plain pointers:
// through the strings' operator[] the compiler reloads the buffer on every
// character (a char store may alias anything) and cannot vectorize the loop.
void ToCodePage(TextView text, std::string& out) {
    out.resize(text.size());
    const char16_t* in = text.data();
    char* to = out.data();
    for (size_t i = 0, n = text.size(); i < n; ++i) to[i] = toByte(in[i]);
}

void FromCodePage(std::string_view bytes, Text& out) {
    out.resize(bytes.size());
    const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char16_t* to = out.data();
    for (size_t i = 0, n = bytes.size(); i < n; ++i) to[i] = toChar(in[i]);
}

std::string ToCodePage(TextView text) {
    std::string out;
    ToCodePage(text, out);
    return out;
}

Text FromCodePage(std::string_view bytes) {
    Text out;
    FromCodePage(bytes, out);
    return out;
}

Text FromUtf8(std::string_view utf8) {
    Text out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
        char32_t cp = extra == 0   ? lead
                      : extra == 1 ? lead & 0x1F
                      : extra == 2 ? lead & 0x0F
                                   : lead & 0x07;
        bool valid = extra >= 0 && i + extra < utf8.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const unsigned char c = static_cast<unsigned char>(utf8[i + k]);
            valid = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += u'\xFFFD';  // a broken sequence costs one character, then resync
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string ToUtf8(TextView text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

#pragma once
// Turning the fuzzer's bytes into what a target needs: text as the window
// holds it (16-bit characters, two bytes each), numbers, and the rest.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/text.h"

class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }

    template <typename T>
    T number() {
        T value{};
        const size_t n = m_size - m_pos < sizeof(T) ? m_size - m_pos : sizeof(T);
        std::memcpy(&value, m_data + m_pos, n);
        m_pos += n;
        return value;
    }

    // The rest as 16-bit characters, little-endian pairs; an odd last byte is
    // one character of its own.
    Text restAsText() {
        Text text;
        for (; m_pos + 1 < m_size; m_pos += 2) {
            text.push_back(static_cast<char16_t>(m_data[m_pos] | m_data[m_pos + 1] << 8));
        }
        if (m_pos < m_size) {
            text.push_back(static_cast<char16_t>(m_data[m_pos++]));
        }
        return text;
    }

    // The rest as 8-bit characters, one each (what the operator types, mostly).
    Text restAsLatin1() {
        Text text;
        for (; m_pos < m_size; ++m_pos) text.push_back(static_cast<char16_t>(m_data[m_pos]));
        return text;
    }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A broken promise of the code under test: stop so the fuzzer keeps the input.
#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) {   \
            __builtin_trap(); \
        }                     \
    } while (0)

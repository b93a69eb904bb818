#pragma once
// Text between the models (UTF-16 code units) and Qt, which shares the form.

#include <QString>

#include "text/text.h"

inline QString ToQString(const Text& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline Text FromQString(const QString& text) {
    return Text(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

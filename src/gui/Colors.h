// Colours are kept as 0x00BBGGRR values everywhere in the program.
#pragma once

#include <QColor>
#include <cstdint>

namespace quorvane {

inline QColor ColorFromRef(uint32_t ref) {
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

inline uint32_t ColorToRef(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
           (static_cast<uint32_t>(color.blue()) << 16);
}

} // namespace quorvane

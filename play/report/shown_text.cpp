#include "play/report/shown_text.h"

#include <cstddef>

namespace {

constexpr unsigned char FirstPrintable = 0x20;
constexpr unsigned char Delete = 0x7F;
constexpr unsigned char LastC1Control = 0x9F;
constexpr char Replacement = '?';

// Length of the well-formed UTF-8 sequence at text[at], or 0 (overlong forms, surrogates and
// values past U+10FFFF are not well formed).
std::size_t SequenceAt(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return length;
}

bool IsUtf8(const std::string& text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = SequenceAt(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

}  // namespace

bool IsControlByte(unsigned char byte) { return byte < FirstPrintable || byte == Delete; }

std::string ShownText(const std::string& text)
{
    const bool utf8 = IsUtf8(text);
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8 ? SequenceAt(text, at) : 1;
        // A C1 control in UTF-8 is the pair C2 80 to C2 9F.
        const bool c1 = utf8 ? length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= LastC1Control
                             : c >= 0x80 && c <= LastC1Control;
        if (IsControlByte(c) || c1) {
            shown += Replacement;
        } else if (utf8 || c < 0x80) {
            shown.append(text, at, length);
        } else {
            shown += static_cast<char>(0xC0 | (c >> 6));
            shown += static_cast<char>(0x80 | (c & 0x3F));
        }
        at += length;
    }
    return shown;
}

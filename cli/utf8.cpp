#include "cli/utf8.h"

#include <cstdint>

namespace kg::utf8 {
namespace {

// Length of the well-formed sequence starting at bytes[i], or 0 when it is ill-formed; in that
// case `subpart` receives the length of the maximal ill-formed subpart to replace (at least 1).
std::size_t sequenceLength(std::string_view bytes, std::size_t i, std::size_t& subpart) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(bytes[k]); };
    const std::uint8_t lead = byte(i);
    subpart = 1;
    if (lead < 0x80) return 1;

    std::size_t need = 0;
    std::uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) lo = 0xA0;   // no overlong forms
        if (lead == 0xED) hi = 0x9F;   // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;   // nothing above U+10FFFF
    } else {
        return 0;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= bytes.size()) return 0;
        const std::uint8_t c = byte(i + k);
        const bool ok = (k == 1) ? (c >= lo && c <= hi) : (c >= 0x80 && c <= 0xBF);
        if (!ok) return 0;
        subpart = k + 1;
    }
    return need + 1;
}

// Decodes one code point of valid UTF-8 at bytes[i]; sets len.
char32_t decodeAt(std::string_view bytes, std::size_t i, std::size_t& len) {
    std::size_t ignored = 0;
    len = sequenceLength(bytes, i, ignored);
    const auto b = [&](std::size_t k) { return static_cast<char32_t>(static_cast<std::uint8_t>(bytes[i + k])); };
    switch (len) {
    case 1: return b(0);
    case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    case 4: return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    default: len = 1; return 0xFFFD;
    }
}

bool isWhiteSpace(char32_t c) {
    switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
    case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

}  // namespace

bool isValid(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t subpart = 0;
        const std::size_t len = sequenceLength(bytes, i, subpart);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string repaired(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t subpart = 0;
        const std::size_t len = sequenceLength(bytes, i, subpart);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            i += subpart;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string_view trimmedWhitespace(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t len = 0;
        if (!isWhiteSpace(decodeAt(text, begin, len))) break;
        begin += len;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back to the start of the last code point.
        std::size_t start = end - 1;
        while (start > begin && (static_cast<std::uint8_t>(text[start]) & 0xC0) == 0x80) --start;
        std::size_t len = 0;
        if (!isWhiteSpace(decodeAt(text, start, len))) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace kg::utf8

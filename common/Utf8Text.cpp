#include "common/Utf8Text.h"

#include <utf8proc.h>

namespace nubbo::text {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence starting at i, or 0 with `good` set to the length of the
// maximal ill-formed subpart (at least 1).
std::size_t sequenceLength(std::string_view s, std::size_t i, std::size_t& good) {
    const auto b = static_cast<unsigned char>(s[i]);
    good = 1;
    if (b < 0x80) return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) len = 2;
    else if (b == 0xE0) { len = 3; lo = 0xA0; }
    else if (b >= 0xE1 && b <= 0xEC) len = 3;
    else if (b == 0xED) { len = 3; hi = 0x9F; }
    else if (b >= 0xEE && b <= 0xEF) len = 3;
    else if (b == 0xF0) { len = 4; lo = 0x90; }
    else if (b >= 0xF1 && b <= 0xF3) len = 4;
    else if (b == 0xF4) { len = 4; hi = 0x8F; }
    else return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if (i + k >= s.size()) return 0;
        const auto c = static_cast<unsigned char>(s[i + k]);
        const unsigned char min = k == 1 ? lo : 0x80;
        const unsigned char max = k == 1 ? hi : 0xBF;
        if (c < min || c > max) return 0;
        good = k + 1;
    }
    return len;
}

std::int32_t decodeAt(std::string_view s, std::size_t i, std::size_t& length) {
    utf8proc_int32_t cp = -1;
    const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + i),
                                    static_cast<utf8proc_ssize_t>(s.size() - i), &cp);
    length = n > 0 ? static_cast<std::size_t>(n) : 1;
    return n > 0 ? cp : -1;
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    std::size_t good = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto n = sequenceLength(bytes, i, good);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string repairUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t good = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto n = sequenceLength(bytes, i, good);
        if (n == 0) {
            out += kReplacement;
            i += good;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::vector<std::string_view> graphemes(std::string_view text) {
    std::vector<std::string_view> out;
    utf8proc_int32_t state = 0;
    std::int32_t previous = -1;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        // An ill-formed byte breaks like the U+FFFD that repairUtf8 would put in its place.
        const auto decoded = decodeAt(text, i, length);
        const std::int32_t cp = decoded < 0 ? 0xFFFD : decoded;
        if (previous >= 0 && utf8proc_grapheme_break_stateful(previous, cp, &state)) {
            out.push_back(text.substr(start, i - start));
            start = i;
        }
        previous = cp;
        i += length;
    }
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

std::size_t graphemeCount(std::string_view text) { return graphemes(text).size(); }

std::string_view graphemePrefix(std::string_view text, std::size_t n) {
    if (n == 0) return text.substr(0, 0);
    const auto clusters = graphemes(text);
    if (clusters.size() <= n) return text;
    const auto& last = clusters[n - 1];
    return text.substr(0, static_cast<std::size_t>(last.data() - text.data()) + last.size());
}

std::string lowercased(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        const auto cp = decodeAt(text, i, length);
        if (cp < 0) {
            out.append(text.substr(i, length));
        } else if (cp < 0x80) {
            out.push_back(static_cast<char>(cp >= 'A' && cp <= 'Z' ? cp + 32 : cp));
        } else {
            utf8proc_uint8_t buf[4];
            const auto n = utf8proc_encode_char(utf8proc_tolower(cp), buf);
            out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
        }
        i += length;
    }
    return out;
}

std::string_view trimSpacesAndTabs(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return text.substr(0, 0);
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool isWhitespaceOrNewline(std::int32_t cp) {
    if (cp == ' ' || (cp >= 0x09 && cp <= 0x0D) || cp == 0x85 || cp == 0x2028 || cp == 0x2029) return true;
    if (cp < 0x80) return false;
    return utf8proc_category(cp) == UTF8PROC_CATEGORY_ZS;
}

bool isPrintableToken(std::string_view text, std::size_t maxCodePoints) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        std::size_t length = 0;
        const auto cp = decodeAt(text, i, length);
        if (cp < 0 || count == maxCodePoints || isWhitespaceOrNewline(cp))
            return false;
        switch (utf8proc_category(cp)) {
        case UTF8PROC_CATEGORY_CC:
        case UTF8PROC_CATEGORY_CF:
        case UTF8PROC_CATEGORY_CO:
        case UTF8PROC_CATEGORY_CN:
        case UTF8PROC_CATEGORY_ZL:
        case UTF8PROC_CATEGORY_ZP:
            return false;
        default:
            break;
        }
        i += length;
    }
    return count > 0;
}

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t length = 0;
        const auto cp = decodeAt(text, begin, length);
        if (cp < 0 || !isWhitespaceOrNewline(cp)) break;
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back to the start of the previous code point.
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        std::size_t length = 0;
        const auto cp = decodeAt(text, start, length);
        if (cp < 0 || start + length != end || !isWhitespaceOrNewline(cp)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

} // namespace nubbo::text

#include "bridge/NarrationText.h"

#include "common/Utf8Text.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace nubbo::bridge {
namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026

// Finds the next occurrence of one ASCII byte at or after a position. Callers ask with positions that never
// decrease, so a remembered answer is reused and a whole scan stays linear even for "[[[[..." with no "]".
class NextByte {
public:
    NextByte(std::string_view text, char byte) : text_(text), byte_(byte) {}
    std::size_t from(std::size_t pos) {
        if (pos < askedFrom_ || pos > found_) {
            found_ = text_.find(byte_, pos);
            askedFrom_ = pos;
        }
        return found_;
    }

private:
    std::string_view text_;
    char byte_;
    std::size_t askedFrom_ = std::string_view::npos;
    std::size_t found_ = 0;
};

// The delimiters are ASCII, which never occurs inside a multi-byte UTF-8 sequence, so scanning bytes matches
// what a code-point regex engine does. Both scanners reproduce leftmost-first, non-overlapping global
// replacement: a "[" whose first following "]" is not directly followed by "(" and a later ")" does not match,
// and the scan moves on by one byte (so an unmatched "[" can end up inside the text of a later link).

// Removes every `!\[[^\]]*\]\([^)]*\)`.
std::string removeImages(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    NextByte close(s, ']');
    NextByte paren(s, ')');
    std::size_t copied = 0;
    for (std::size_t i = 0; i + 1 < s.size();) {
        if (s[i] == '!' && s[i + 1] == '[') {
            const auto j = close.from(i + 2);
            if (j != std::string_view::npos && j + 1 < s.size() && s[j + 1] == '(') {
                const auto k = paren.from(j + 2);
                if (k != std::string_view::npos) {
                    out.append(s.substr(copied, i - copied));
                    copied = i = k + 1;
                    continue;
                }
            }
        }
        ++i;
    }
    out.append(s.substr(copied));
    return out;
}

// Replaces every `\[([^\]]+)\]\([^)]*\)` by its bracketed text.
std::string replaceLinks(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    NextByte close(s, ']');
    NextByte paren(s, ')');
    std::size_t copied = 0;
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '[') {
            const auto j = close.from(i + 1);
            if (j != std::string_view::npos && j > i + 1 && j + 1 < s.size() && s[j + 1] == '(') {
                const auto k = paren.from(j + 2);
                if (k != std::string_view::npos) {
                    out.append(s.substr(copied, i - copied));
                    out.append(s.substr(i + 1, j - i - 1));
                    copied = i = k + 1;
                    continue;
                }
            }
        }
        ++i;
    }
    out.append(s.substr(copied));
    return out;
}

void removeAll(std::string& s, std::string_view token) {
    std::string out;
    out.reserve(s.size());
    std::size_t from = 0;
    for (auto at = s.find(token); at != std::string::npos; at = s.find(token, from)) {
        out.append(s, from, at - from);
        from = at + token.size();
    }
    out.append(s, from);
    s = std::move(out);
}

std::int32_t decode(std::string_view s, std::size_t i, std::size_t& length) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        length = 1;
        return b;
    }
    // Callers only see valid UTF-8 (JSON strings are validated on parse); stay safe on anything else.
    const std::size_t n = b >= 0xF8 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (n == 1 || i + n > s.size()) {
        length = 1;
        return -1;
    }
    std::int32_t cp = b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    length = n;
    return cp;
}

// `\s*\n\s*` -> " ": a maximal run of white space that holds a line feed collapses to one space (the greedy
// leading `\s*` makes every match start where its run starts and end where it ends).
std::string foldNewlineRuns(std::string_view s) {
    if (s.find('\n') == std::string_view::npos) return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t length = 0;
        const auto cp = decode(s, i, length);
        if (cp < 0 || !text::isWhitespaceOrNewline(cp)) {
            out.append(s.substr(i, length));
            i += length;
            continue;
        }
        std::size_t end = i;
        bool hasLineFeed = false;
        while (end < s.size()) {
            std::size_t n = 0;
            const auto c = decode(s, end, n);
            if (c < 0 || !text::isWhitespaceOrNewline(c)) break;
            hasLineFeed = hasLineFeed || c == '\n';
            end += n;
        }
        if (hasLineFeed) out.push_back(' ');
        else out.append(s.substr(i, end - i));
        i = end;
    }
    return out;
}

void collapseSpaces(std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s)
        if (c != ' ' || out.empty() || out.back() != ' ') out.push_back(c);
    s = std::move(out);
}

// The first `count` clusters of the text the clusters were taken from.
std::string_view prefix(std::string_view text, const std::vector<std::string_view>& clusters, std::size_t count) {
    if (count == 0) return text.substr(0, 0);
    const auto& last = clusters[count - 1];
    return text.substr(0, static_cast<std::size_t>(last.data() - text.data()) + last.size());
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

} // namespace

bool isSentenceTerminator(std::string_view cluster) {
    static constexpr std::array<std::string_view, 6> kTerminators = {
        ".", "!", "?", "\xE3\x80\x82" /* 。 */, "\xEF\xBC\x81" /* ！ */, "\xEF\xBC\x9F" /* ？ */};
    for (const auto t : kTerminators)
        if (cluster == t) return true;
    return false;
}

std::string cleanNarration(std::string_view text) {
    // Fenced code is never narration: drop fence lines and everything between them.
    std::string s;
    s.reserve(text.size() + 16);
    bool inFence = false;
    for (std::size_t begin = 0; begin <= text.size();) {
        auto end = text.find('\n', begin);
        if (end == std::string_view::npos) end = text.size();
        const auto line = text.substr(begin, end - begin);
        const auto probe = text::trimSpacesAndTabs(line);
        if (startsWith(probe, "```") || startsWith(probe, "~~~")) {
            inFence = !inFence;
        } else if (!inFence) {
            s.append(line);
            s.push_back(' ');
        }
        begin = end + 1;
    }

    s = replaceLinks(removeImages(s));
    for (const std::string_view token : {"**", "__", "~~", "*", "_", "`"}) removeAll(s, token);
    for (const std::string_view token : {"#### ", "### ", "## ", "# ", "> "}) removeAll(s, token);
    s = foldNewlineRuns(s);
    collapseSpaces(s);
    return std::string(text::trimWhitespaceAndNewlines(s));
}

std::optional<std::string> firstSentence(std::string_view text, int maxLen) {
    if (text.empty()) return std::nullopt;
    const auto clusters = text::graphemes(text);
    const std::size_t limit = maxLen <= 0 ? 0 : std::min(clusters.size(), static_cast<std::size_t>(maxLen));
    std::size_t count = limit;
    for (std::size_t k = 0; k < limit; ++k) {
        if (isSentenceTerminator(clusters[k])) {
            count = k + 1;
            break;
        }
    }
    const auto trimmed = text::trimSpacesAndTabs(prefix(text, clusters, count));
    if (trimmed.empty()) return std::nullopt;
    return std::string(trimmed);
}

std::string trimNarration(std::string_view text, int hardCap, int softMin) {
    const auto clusters = text::graphemes(text);
    const std::size_t cap = hardCap < 0 ? 0 : static_cast<std::size_t>(hardCap);
    if (clusters.size() <= cap) return std::string(text);

    // Prefer ending on a sentence that reaches at least softMin, looking back from the cap.
    const std::size_t lowest = softMin < 0 ? 0 : static_cast<std::size_t>(softMin);
    for (std::size_t p = cap + 1; p-- > lowest;) {
        if (!isSentenceTerminator(clusters[p])) continue;
        const auto trimmed = text::trimSpacesAndTabs(prefix(text, clusters, p + 1));
        if (text::graphemeCount(trimmed) >= static_cast<std::size_t>(kShortestSentence))
            return std::string(trimmed);
    }
    return std::string(text::trimSpacesAndTabs(prefix(text, clusters, cap))) + std::string(kEllipsis);
}

bool looksLikeProse(std::string_view text) {
    const auto t = text::trimWhitespaceAndNewlines(text);
    if (t.empty() || t.front() == '<') return false;
    for (const std::string_view marker : {"<automation_id>", "<heartbeat", "<decision>", "</message>"})
        if (t.find(marker) != std::string_view::npos) return false;
    return true;
}

std::optional<std::string> excerpt(std::string_view text) {
    const auto cleaned = cleanNarration(text);
    if (cleaned.empty()) return std::nullopt;
    auto sentence = firstSentence(cleaned, kSentenceMaxLength);
    if (sentence && text::graphemeCount(*sentence) >= static_cast<std::size_t>(kShortestSentence)) return sentence;
    return trimNarration(cleaned, kNarrationHardCap, kNarrationSoftMin);
}

} // namespace nubbo::bridge

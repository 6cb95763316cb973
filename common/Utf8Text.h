// UTF-8 text helpers shared by the bridge and the app: validation, U+FFFD repair, grapheme clusters
// (user-perceived characters) and trimming. Every count and index is in grapheme clusters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nubbo::text {

// True when every byte sequence is well-formed UTF-8 (no overlongs, surrogates or code points past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Decodes leniently: each maximal ill-formed subpart becomes one U+FFFD, as Unicode recommends.
std::string repairUtf8(std::string_view bytes);

// The grapheme clusters of valid UTF-8 text, as views into it (extended clusters, UAX #29).
std::vector<std::string_view> graphemes(std::string_view text);
std::size_t graphemeCount(std::string_view text);
// The first n clusters (the whole text when it has fewer).
std::string_view graphemePrefix(std::string_view text, std::size_t n);

// Full Unicode simple lower-casing, code point by code point.
std::string lowercased(std::string_view text);

// Trims ASCII spaces and tabs only.
std::string_view trimSpacesAndTabs(std::string_view text);
// Trims Unicode white space and line separators (tab, LF, VT, FF, CR, NEL, Zs, U+2028, U+2029).
std::string_view trimWhitespaceAndNewlines(std::string_view text);
bool isWhitespaceOrNewline(std::int32_t codePoint);

// An id as agents report them and other programs pass them back: valid UTF-8 of 1 to `maxCodePoints` code
// points with no white space and nothing unprintable (control, format, private-use, unassigned).
bool isPrintableToken(std::string_view text, std::size_t maxCodePoints = 256);

} // namespace nubbo::text

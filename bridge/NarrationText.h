// Turning an agent's message into one display line. Lengths count grapheme clusters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nubbo::bridge {

inline constexpr int kSentenceMaxLength = 80;
inline constexpr int kShortestSentence = 12;
inline constexpr int kNarrationHardCap = 180;
inline constexpr int kNarrationSoftMin = 90;

// ".", "!", "?" and their full-width forms.
bool isSentenceTerminator(std::string_view cluster);

// Markdown stripped (fences, images, links, emphasis, headings, quotes), folded to one line.
std::string cleanNarration(std::string_view text);
std::optional<std::string> firstSentence(std::string_view text, int maxLen);
std::string trimNarration(std::string_view text, int hardCap, int softMin);
// Rejects automation markup (heartbeats, decisions) that some agents write as assistant messages.
bool looksLikeProse(std::string_view text);
// One display line from a message, or nothing when it cleans to empty.
std::optional<std::string> excerpt(std::string_view text);

} // namespace nubbo::bridge

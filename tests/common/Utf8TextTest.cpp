#include "common/Utf8Text.h"

#include <gtest/gtest.h>

using namespace nubbo::text;

namespace {
const std::string kFFFD = "\xEF\xBF\xBD";
}

TEST(Utf8Validation, AcceptsWellFormedAndRejectsEachIllFormedShape) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ascii"));
    EXPECT_TRUE(isValidUtf8("中文 ✓ 😀 \xF4\x8F\xBF\xBF"));  // includes U+10FFFF
    for (const char* bad : {"\x80", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "\xF5\x80\x80\x80", "\xFF", "\xE4\xB8", "abc\xF0\x9F\x98"})
        EXPECT_FALSE(isValidUtf8(bad)) << testing::PrintToString(std::string(bad));
}

TEST(Utf8Repair, EachMaximalIllFormedSubpartBecomesOneReplacement) {
    EXPECT_EQ(repairUtf8("ok 中"), "ok 中");
    EXPECT_EQ(repairUtf8("\xE4\xB8" "A"), kFFFD + "A");                  // truncated 3-byte sequence
    EXPECT_EQ(repairUtf8("\xF0\x80\x80"), kFFFD + kFFFD + kFFFD);         // F0 80 is never a valid prefix
    EXPECT_EQ(repairUtf8("\xED\xA0\x80"), kFFFD + kFFFD + kFFFD);         // surrogate
    EXPECT_EQ(repairUtf8("a\xFF" "b\xC3"), "a" + kFFFD + "b" + kFFFD);
    EXPECT_TRUE(isValidUtf8(repairUtf8("\x80\x81\xF8\xE0\xA0")));
}

TEST(Graphemes, CountUserPerceivedCharacters) {
    EXPECT_EQ(graphemeCount(""), 0u);
    EXPECT_EQ(graphemeCount("abc"), 3u);
    EXPECT_EQ(graphemeCount("e\xCC\x81"), 1u);                     // e + combining acute
    EXPECT_EQ(graphemeCount("\xF0\x9F\x87\xA8\xF0\x9F\x87\xB3"), 1u);  // regional-indicator flag
    EXPECT_EQ(graphemeCount("👨‍👩‍👧"), 1u);                              // ZWJ family
    EXPECT_EQ(graphemeCount("\r\n"), 1u);
    EXPECT_EQ(graphemeCount("你好。"), 3u);
    EXPECT_EQ(graphemeCount("👍🏽ok"), 3u);                           // skin-tone modifier joins
    EXPECT_EQ(graphemeCount("\xFF" "ab"), 3u);                      // a stray byte stands alone
}

TEST(Graphemes, PrefixNeverSplitsACluster) {
    EXPECT_EQ(graphemePrefix("👨‍👩‍👧x", 1), "👨‍👩‍👧");
    EXPECT_EQ(graphemePrefix("cafe\xCC\x81s", 4), "cafe\xCC\x81");
    EXPECT_EQ(graphemePrefix("ab", 5), "ab");
    EXPECT_EQ(graphemePrefix("ab", 0), "");
    const auto clusters = graphemes("a中😀");
    ASSERT_EQ(clusters.size(), 3u);
    EXPECT_EQ(clusters[1], "中");
}

TEST(TextCase, LowercasesUnicodeAndKeepsInvalidBytes) {
    EXPECT_EQ(lowercased("CLAUDE"), "claude");
    EXPECT_EQ(lowercased("ÄÖÜ Σ"), "äöü σ");
    EXPECT_EQ(lowercased("A\xFF" "B"), "a\xFF" "b");
}

TEST(TextTrim, SpacesAndTabsVersusAllWhitespace) {
    EXPECT_EQ(trimSpacesAndTabs(" \t x y \t"), "x y");
    EXPECT_EQ(trimSpacesAndTabs("\nx\n"), "\nx\n");
    EXPECT_EQ(trimSpacesAndTabs(" \t "), "");
    EXPECT_EQ(trimWhitespaceAndNewlines("\n\t x \r\n"), "x");
    EXPECT_EQ(trimWhitespaceAndNewlines("\xE3\x80\x80" "文\xC2\xA0"), "文");  // ideographic space, NBSP
    EXPECT_EQ(trimWhitespaceAndNewlines("\xE2\x80\xA8"), "");                 // line separator
    EXPECT_EQ(trimWhitespaceAndNewlines("a b"), "a b");
}

TEST(PrintableToken, AcceptsWhatAgentsReportAsIdsAndNothingATerminalWouldAct) {
    const struct {
        std::string text;
        bool printable;
    } cases[] = {
        {"0f3c9a1e-77b2-4c1d-9f00-2d1e5b6a7c8d", true},
        {"ses_9Kx:tool/bash#1", true},
        {"会话-Ω", true},
        {"", false},
        {"a b", false},
        {"a\xC2\xA0" "b", false},      // no-break space
        {"a\x1B[2Jb", false},          // escape sequence
        {"a\xE2\x80\xAE" "b", false},  // right-to-left override (a format character)
        {"a\xEE\x80\x80", false},      // private use
        {"a\xED\xA0\x80", false},      // a surrogate, ill-formed in UTF-8
        {"a\xFF", false},
        {std::string(256, 'x'), true},
        {std::string(257, 'x'), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isPrintableToken(c.text), c.printable) << c.text;
}

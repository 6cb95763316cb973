#include "bridge/NarrationText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace nubbo::bridge;

namespace {

const std::string kEllipsis = "\xE2\x80\xA6";
const std::string kThumb = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";  // thumbs up + skin tone: one character
const std::string kFamily = "👨‍👩‍👧";                                 // ZWJ sequence: one character

std::string repeat(const std::string& unit, std::size_t n) {
    std::string out;
    while (n-- > 0) out += unit;
    return out;
}

} // namespace

TEST(NarrationClean, StripsMarkdownAndFoldsToOneLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"See [the docs](docs.md) and ![img](a.png) now.", "See the docs and now."},
        {"snake_case_name", "snakecasename"},
        {"## Plan\n> **Note:** run `make` and ~~old~~ __new__ *now*", "Plan Note: run make and old new now"},
        {"a\n\n\n  b\t\n", "a b"},
        {"Intro\n```python\nx = 1\n```\nOutro", "Intro Outro"},
        {"Intro\n  ~~~\nx\n  ~~~  \nOutro", "Intro Outro"},
        {"A\n```\nx\n~~~\nB", "A B"},  // either marker closes a block
        {"Before\n```\nnever closed", "Before"},
        {"```\nonly code\n```", ""},
        // Leftmost-first regex semantics of the link and image patterns.
        {"[a] [b](c)", "[a] b"},
        {"a [b [c](d)", "a b [c"},  // an unmatched "[" reaches to the next "]("
        {"[](x) and [x](y", "[](x) and [x](y"},
        {"![a] ![b](c) d", "![a] d"},
        {"x ![a[b](c) y", "x y"},
        {"[a](b)(c)[d](e)", "a(c)d"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(cleanNarration(in), out) << in;

    const std::string brackets(200000, '[');  // a regex engine recursing per character overflows here
    EXPECT_EQ(cleanNarration(brackets + "](x"), brackets + "](x");
}

TEST(NarrationSentence, FirstSentenceWithinTheLimitCountingCharacters) {
    EXPECT_EQ(firstSentence("I refactored the parser. Then I added tests.", 80), "I refactored the parser.");
    EXPECT_EQ(firstSentence("  Why? Because.", 80), "Why?");
    EXPECT_EQ(firstSentence("我修复了解析器。然后添加了测试！", 80), "我修复了解析器。");
    EXPECT_EQ(firstSentence("好的！继续", 80), "好的！");

    const std::string hundred = repeat("abcdefghij", 10);
    EXPECT_EQ(firstSentence(hundred, 80), hundred.substr(0, 80));        // no ellipsis
    EXPECT_EQ(firstSentence(hundred + ".", 80), hundred.substr(0, 80));  // terminator past the limit
    EXPECT_EQ(firstSentence(repeat(kFamily, 100), 80), repeat(kFamily, 80));
    EXPECT_EQ(firstSentence(repeat(kThumb, 79) + ".more", 80), repeat(kThumb, 79) + ".");
    EXPECT_EQ(firstSentence("Hm.\xCC\x81 yes. ok", 80), "Hm.\xCC\x81 yes.");  // "." + combining mark is no terminator

    EXPECT_EQ(firstSentence("", 80), std::nullopt);
    EXPECT_EQ(firstSentence(" \t ", 80), std::nullopt);
}

TEST(NarrationTrim, CutsOnASentenceBetweenSoftMinAndHardCapElseAtTheCap) {
    const std::string shortText = "Done. I refactored the parser and added tests.";
    EXPECT_EQ(trimNarration(shortText, 180, 90), shortText);
    EXPECT_EQ(trimNarration(repeat("字", 180), 180, 90), repeat("字", 180));

    const std::string okText = "Ok.  " + repeat("word ", 59);  // 300 characters, a space at position 179
    EXPECT_EQ(trimNarration(okText, 180, 90), okText.substr(0, 179) + kEllipsis);

    for (const std::size_t at : {180, 135, 90}) {  // both ends of the range count
        std::string s(250, 'c');
        s[60] = '!';
        s[at] = '.';
        EXPECT_EQ(trimNarration(s, 180, 90), s.substr(0, at + 1)) << at;
    }
    std::string two(250, 'c');
    two[100] = '?';
    two[150] = '.';
    EXPECT_EQ(trimNarration(two, 180, 90), two.substr(0, 151));
    std::string below(250, 'c');
    below[89] = '.';
    EXPECT_EQ(trimNarration(below, 180, 90), below.substr(0, 180) + kEllipsis);

    // Trimmed of its leading spaces the only candidate is "Hi.", too short to stand alone.
    EXPECT_EQ(trimNarration(std::string(95, ' ') + "Hi." + std::string(200, 'x'), 180, 90),
              "Hi." + std::string(82, 'x') + kEllipsis);
    EXPECT_EQ(trimNarration(repeat("字", 120) + "。" + repeat("字", 100), 180, 90), repeat("字", 120) + "。");
    EXPECT_EQ(trimNarration(repeat(kThumb, 200), 180, 90), repeat(kThumb, 180) + kEllipsis);
}

TEST(NarrationProse, RejectsAutomationMarkup) {
    EXPECT_TRUE(looksLikeProse("Use a <b> tag."));
    for (const char* text : {"", " \n\t", "\n  <task>x</task>", "ping <heartbeat id=1>",
                             "x <automation_id>7</automation_id>", "ok <decision>yes", "done</message>"})
        EXPECT_FALSE(looksLikeProse(text)) << text;
}

TEST(NarrationExcerpt, UsesTheFirstSentenceOnlyWhenItIsLongEnough) {
    EXPECT_EQ(excerpt("I refactored the parser. Then I added tests."), "I refactored the parser.");
    EXPECT_EQ(excerpt("Done. I refactored the parser and added tests."),
              "Done. I refactored the parser and added tests.");
    EXPECT_EQ(excerpt("**Fixed** the `tokenizer` bug.\n\n```\ndiff\n```"), "Fixed the tokenizer bug.");
    const std::string words = repeat("more words ", 30);
    EXPECT_EQ(excerpt("Ok. " + words), "Ok. " + words.substr(0, 175) + kEllipsis);
    EXPECT_EQ(excerpt("```\nonly code\n```"), std::nullopt);
}

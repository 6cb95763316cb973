#include "model/PetState.h"

#include <QLatin1String>

#include <cstddef>

namespace nubbo {

namespace {

// Indexed by the enumeration's ordinal.
constexpr const char* kRawValues[] = {
    "idle",       "thinking",      "coding",       "reading",         "searching",
    "running",    "browsing",      "planning",     "compactingContext", "responding",
    "waitingApproval", "waitingInput", "success",  "warning",         "sleeping",
    "dragging",   "coffee",        "relaxing",     "walking",         "drowsy",
    "reactStartled", "reactGrumpy", "reactShoo",   "reactHappy",      "reactShy",
};
static_assert(std::size(kRawValues) == kAllPetStates.size());

struct StateRow {
    const char16_t* english;
    const char16_t* chinese;
    const char* image;
    const char* frames;
    double fps;
    const char* icon; // nullptr: no badge
};

// Indexed by the enumeration's ordinal.
constexpr StateRow kRows[] = {
    {u"Idle", u"待机", "idle", "idle", 4, nullptr},
    {u"Thinking…", u"思考中…", "thinking", "thinking", 8, nullptr},
    {u"Working…", u"工作中…", "coding", "coding", 6, "pencil"},
    {u"Reading…", u"正在读取…", "thinking", "reading", 6, "book"},
    {u"Searching…", u"正在搜索…", "thinking", "searching", 8, "magnifyingglass"},
    {u"Running…", u"正在运行…", "coding", "running", 10, "terminal"},
    {u"Browsing the web…", u"正在查阅网页…", "thinking", "browsing", 6, "globe"},
    {u"Planning…", u"正在规划…", "coding", "planning", 6, "checklist"},
    {u"Compacting context…", u"正在压缩上下文…", "coding", "compacting_context", 10, nullptr},
    {u"Responding…", u"回答中…", "input", "responding", 7, nullptr},
    {u"Waiting for your approval.", u"等待你的授权。", "approval", "approval", 8, nullptr},
    {u"Waiting for your input.", u"等待你的输入。", "input", "input", 7, nullptr},
    {u"Done!", u"完成！", "success", "wave", 6, nullptr},
    {u"Careful — risky action.", u"小心 — 高风险操作。", "warning", "warning", 14, nullptr},
    {u"Zzz…", u"Zzz…", "sleeping", "sleeping", 3, nullptr},
    {u"Walking…", u"走路中…", "idle", "walk", 12, nullptr},
    {u"Coffee break…", u"喝杯咖啡…", "coffee", "coffee", 6, nullptr},
    {u"Relaxing~", u"放松一下～", "happy", "relaxing", 6, nullptr},
    {u"Wandering around…", u"随便逛逛…", "idle", "walk", 12, nullptr},
    {u"Getting sleepy…", u"有点困了…", "sleeping", "drowsy", 4, nullptr},
    {u"！", u"！", "idle", "react_startled", 12, nullptr},
    {u"Don't bug me…", u"别吵我…", "sad", "react_grumpy", 10, nullptr},
    {u"I'm busy!", u"我在忙！", "wave", "react_shoo", 10, nullptr},
    {u"Hehe~", u"嘿嘿～", "happy", "react_happy", 12, nullptr},
    {u"Oh my…", u"哎呀…", "happy", "react_shy", 8, nullptr},
};
static_assert(std::size(kRows) == kAllPetStates.size());

// scaleFrom, scaleTo, rotationFrom, rotationTo, xFrom, xTo, yFrom, yTo, duration; indexed by ordinal.
constexpr PetAnimation kAnimations[] = {
    {0.985, 1.02, 0, 0, 0, 0, 0, 0, 2.3},
    {1, 1, -6, 6, 0, 0, 0, 0, 1.1},
    {1, 1, 0, 0, 0, 0, 4, -4, 0.75},
    {1, 1, -4, 4, 0, 0, 0, 0, 1.6},
    {1, 1, -2, 2, -7, 7, 0, 0, 0.7},
    {1, 1, 0, 0, 0, 0, 5, -5, 0.5},
    {1, 1, 0, 0, 0, 0, 2, -4, 0.9},
    {1, 1, -3, 5, 0, 0, 0, 0, 1.1},
    {1, 0.92, 0, 0, 0, 0, -3, 5, 0.34},
    {1, 1, 0, 0, 0, 0, 2, -3, 0.5},
    {1, 1, 0, 0, 0, 0, 0, -11, 0.42},
    {1, 1, 0, 0, 0, 0, 2, -4, 1},
    {1, 1.03, 0, 0, 0, 0, 0, -16, 0.46},
    {1, 1, 0, 0, -6, 6, 0, 0, 0.11},
    {0.99, 1.012, 0, 0, 0, 0, 0, 0, 3.1},
    {1, 1, 0, 0, 0, 0, 0, 0, 0.8},
    {1, 1, 0, 0, 0, 0, 2, -3, 1.4},
    {0.99, 1.02, 0, 0, 0, 0, 1, -4, 1},
    {1, 1, 0, 0, 0, 0, 1, -3, 0.5},
    {1, 1, -2, 7, 0, 0, 0, 0, 1.8},
    {1, 1.04, -3, 3, 0, 0, 0, -20, 0.18},
    {1, 0.97, 0, 0, -5, 5, 0, 0, 0.14},
    {1, 1, -5, 5, -8, 8, 0, 0, 0.22},
    {1, 1.03, 0, 0, 0, 0, 0, -18, 0.28},
    {1, 1, -4, 4, -4, 4, 0, 0, 0.35},
};
static_assert(std::size(kAnimations) == kAllPetStates.size());

// A value cast from outside the declared range reads as idle rather than past the tables.
std::size_t ordinal(PetState state) {
    const auto index = static_cast<std::size_t>(state);
    return index < kAllPetStates.size() ? index : 0;
}

} // namespace

QString rawValue(PetState state) {
    const auto index = static_cast<std::size_t>(state);
    // A value cast from outside the declared range has no spelling.
    if (index >= std::size(kRawValues))
        return {};
    return QString::fromLatin1(kRawValues[index]);
}

std::optional<PetState> petStateFromRaw(QStringView raw) {
    for (std::size_t i = 0; i < std::size(kRawValues); ++i) {
        if (raw == QLatin1String(kRawValues[i]))
            return kAllPetStates[i];
    }
    return std::nullopt;
}

QString bubbleText(PetState state, Language language) {
    const StateRow& row = kRows[ordinal(state)];
    return QString::fromUtf16(language == Language::zh ? row.chinese : row.english);
}

QString imageName(PetState state) { return QString::fromLatin1(kRows[ordinal(state)].image); }

QString frameAnimationName(PetState state) { return QString::fromLatin1(kRows[ordinal(state)].frames); }

double frameFPS(PetState state) { return kRows[ordinal(state)].fps; }

std::optional<QString> activityIcon(PetState state) {
    const char* icon = kRows[ordinal(state)].icon;
    if (!icon)
        return std::nullopt;
    return QString::fromLatin1(icon);
}

PetAnimation PetAnimation::forState(PetState state) { return kAnimations[ordinal(state)]; }

} // namespace nubbo

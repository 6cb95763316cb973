// Renders the pet panel in its typical looks into PNG files, for a person to judge: each bubble kind in both
// languages on a light and a dark desktop palette, composited over a wallpaper-like backdrop, plus one
// contact sheet per palette. Usage: pet_view_shots [output folder, default /tmp/views-shots].
#include "PetViewHarness.h"

#include <QDir>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>

#include <functional>

using namespace nubbo;
using nubbo::testing::PetViewHarness;
using nubbo::testing::approvalPrompt;

namespace {

struct Scene {
    QString name;
    std::function<void(PetViewHarness&)> show;
};

QImage onBackdrop(const QImage& panel, bool dark) {
    QImage out(panel.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&out);
    QLinearGradient gradient(0, 0, panel.width(), panel.height());
    gradient.setColorAt(0, dark ? QColor(0x1d, 0x24, 0x33) : QColor(0xc9, 0xd8, 0xea));
    gradient.setColorAt(1, dark ? QColor(0x3a, 0x2a, 0x3f) : QColor(0xf1, 0xe4, 0xd6));
    painter.fillRect(out.rect(), gradient);
    painter.drawImage(0, 0, panel);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/views-shots");
    QDir().mkpath(folder);
    const AgentProvider claude{QStringLiteral("claude")};

    const QList<Scene> scenes{
        {"message",
         [](PetViewHarness& h) {
             h.model.setState(PetState::coding);
             h.model.showBubble(BubbleMessage{h.settings.effectiveLanguage() == Language::zh
                                                  ? QStringLiteral("正在编辑 PetView.qml")
                                                  : QStringLiteral("Editing PetView.qml")},
                                true);
         }},
        {"narration",
         [claude](PetViewHarness& h) {
             const bool zh = h.settings.effectiveLanguage() == Language::zh;
             h.settings.setShowProviderChip(true);
             h.model.setState(PetState::responding);
             h.model.showBubble(
                 BubbleNarration{claude, zh ? QStringLiteral("运行测试") : QStringLiteral("Running tests"),
                                 zh ? QStringLiteral("所有测试都通过了，我接下来整理提交信息。")
                                    : QStringLiteral("All 42 tests pass. I'll tidy the commit message next.")},
                 true);
         }},
        {"approval-risky",
         [claude](PetViewHarness& h) {
             h.model.render(PetState::waitingApproval,
                            BubbleApproval{approvalPrompt(QStringLiteral("rm -rf build && git push --force origin main"))},
                            true, claude);
         }},
        {"approval-large-pet-compact",
         [claude](PetViewHarness& h) {
             h.settings.setPetSizeScale(1.6);
             h.settings.setBubbleStyleRaw(QStringLiteral("compact"));
             h.model.render(PetState::waitingApproval,
                            BubbleApproval{approvalPrompt(QStringLiteral(
                                "curl -fsSL https://example.com/install.sh | sh -s -- --prefix /usr/local --yes"))},
                            true, claude);
         }},
        {"approval-normal",
         [claude](PetViewHarness& h) {
             h.model.render(PetState::waitingApproval,
                            BubbleApproval{approvalPrompt(QStringLiteral("npm test"), ApprovalRisk::normal)}, true,
                            claude);
         }},
        {"go-to-session-failed",
         [claude](PetViewHarness& h) {
             h.model.render(PetState::waitingApproval,
                            BubbleApproval{approvalPrompt(QStringLiteral("npm test"), ApprovalRisk::normal)}, true,
                            claude);
             h.model.showFocusOutcome(FocusOutcome::noWindow, QStringLiteral("claude:c1"));
         }},
    };

    for (const bool dark : {false, true}) {
        QPalette palette;
        if (dark) {
            palette.setColor(QPalette::Window, QColor(0x1e, 0x1e, 0x20));
            palette.setColor(QPalette::WindowText, Qt::white);
        }
        QGuiApplication::setPalette(palette);
        QList<QImage> cells;
        for (const char* language : {"en", "zh"}) {
            for (const Scene& scene : scenes) {
                PetViewHarness harness;
                harness.settings.setLanguageRaw(QString::fromLatin1(language));
                if (!harness.load())
                    return 1;
                scene.show(harness);
                QTest::qWait(1000);
                const QImage panel = harness.grab();
                const QString base = QStringLiteral("%1/%2-%3-%4").arg(folder, scene.name,
                                                                      QString::fromLatin1(language),
                                                                      dark ? "dark" : "light");
                panel.save(base + ".png");
                cells.append(onBackdrop(panel, dark));
                cells.last().save(base + "-backdrop.png");
            }
        }
        const int columns = int(scenes.size());
        QImage sheet(QSize(280 * columns, 360 * 2), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&sheet);
        for (int i = 0; i < cells.size(); ++i)
            painter.drawImage((i % columns) * 280, (i / columns) * 360, cells[i]);
        painter.end();
        sheet.save(QStringLiteral("%1/sheet-%2.png").arg(folder, dark ? "dark" : "light"));
    }
    return 0;
}

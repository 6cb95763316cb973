// Every symbol name the pet and the windows draw resolves to a bundled icon that renders, in the asked colour.
#include "model/PetState.h"
#include "common/ProviderRegistry.h"
#include "pet/QuickPanelModel.h"
#include "shell/models/SettingsTexts.h"
#include "pet/qml/SymbolTable.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <set>

namespace nubbo {
namespace {

TEST(SymbolTableTest, EveryUsedNameRendersTintedAndUnknownNamesStillDrawSomething) {
    std::set<QString> names{QStringLiteral("pawprint.fill"), QStringLiteral("hand.raised.fill"),
                            QStringLiteral("exclamationmark.triangle.fill")};
    for (PetState state : kAllPetStates)
        if (const auto icon = activityIcon(state))
            names.insert(*icon);
    ASSERT_EQ(names.size(), 9u);
    // The quick panel's: every agent's own symbol and every session state's.
    for (const ProviderSpec& spec : ProviderRegistry::all())
        names.insert(QuickPanelModel::agentSymbolFor(QString::fromStdString(spec.id)));
    for (PetState state : kAllPetStates)
        names.insert(QuickPanelModel::symbolFor(state, state));
    // The badge's, while Allow All or Ignore Risk is on.
    names.insert(QStringLiteral("checkmark.heavy"));
    names.insert(QStringLiteral("exclamationmark.heavy"));
    names.insert(QStringLiteral("no.such.symbol"));

    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(hasSymbol(name), name != QLatin1String("no.such.symbol"));
        const QImage image = renderSymbol(name, QSize(32, 32), QColor(255, 128, 0));
        int covered = 0;
        bool tinted = true;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() == 255) {
                    ++covered;
                    tinted = tinted && pixel == QColor(255, 128, 0);
                }
            }
        EXPECT_GT(covered, 20);
        EXPECT_TRUE(tinted);
    }
}

// The settings and onboarding windows name their symbols in QML and in the category and agent tables; a
// name missing from the table would draw the question mark.
TEST(SymbolTableTest, EverySymbolTheWindowsNameIsInTheTable) {
    std::set<QString> names;
    for (const SettingsCategory& category : SettingsTexts::categories(Language::en))
        names.insert(category.symbol);
    for (const ProviderSpec& spec : ProviderRegistry::all())
        names.insert(QString::fromStdString(spec.iconName));
    const QRegularExpression named(QStringLiteral(R"((?:symbol|name)\s*:[^\n]*)"));
    const QRegularExpression literal(QStringLiteral(R"re("([a-z0-9]+(?:\.[a-z0-9]+)+)")re"));
    QDirIterator files(QStringLiteral(NUBBO_SHELL_QML_DIR), {QStringLiteral("*.qml")});
    int scanned = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        ++scanned;
        const QString text = QString::fromUtf8(file.readAll());
        for (const auto& line : named.globalMatch(text))
            for (const auto& match : literal.globalMatch(line.captured()))
                names.insert(match.captured(1));
    }
    EXPECT_GT(scanned, 10);
    EXPECT_GT(names.size(), 30u);
    for (const QString& name : names)
        EXPECT_TRUE(hasSymbol(name)) << name.toStdString();
}

} // namespace
} // namespace nubbo

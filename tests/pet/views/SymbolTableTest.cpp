// Every symbol name the pet's code draws resolves to a bundled icon that renders, in the asked colour.
#include "PetState.h"
#include "ProviderRegistry.h"
#include "QuickPanelModel.h"
#include "SymbolTable.h"

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

} // namespace
} // namespace nubbo

// A PetView on an offscreen window over a real view model and settings store with fake time and storage.
#pragma once

#include "ManualTime.h"
#include "petart/PetImageStore.h"
#include "pet/qml/PetQml.h"
#include "pet/PetViewModel.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QTest>

#include <memory>
#include <vector>

namespace nubbo::testing {

struct Verdict {
    QUuid eventId;
    bool allow;
};

class PetViewHarness {
public:
    explicit PetViewHarness(QStringList languages = {QStringLiteral("en-US")})
        : settings(preferences, secrets, loginItem, [languages] { return languages; }),
          model(settings, scheduler, clock, random, [](const QString&) {},
                [this](const QUuid& id, bool allow) {
                    verdicts.push_back({id, allow});
                    return true;
                }) {
        installPetQml(engine);
        window.setColor(Qt::transparent);
        window.resize(280, 360);
    }

    ~PetViewHarness() { delete view; }

    // Builds the view; false (with the QML errors printed) when it does not load.
    bool load() {
        QQmlComponent component(&engine, kPetViewUrl);
        QObject* object = component.createWithInitialProperties(
            {{QStringLiteral("viewModel"), QVariant::fromValue<QObject*>(&model)},
             {QStringLiteral("settings"), QVariant::fromValue<QObject*>(&settings)}});
        view = qobject_cast<QQuickItem*>(object);
        if (!view) {
            for (const QQmlError& error : component.errors())
                qWarning("%s", qPrintable(error.toString()));
            delete object;
            return false;
        }
        view->setParentItem(window.contentItem());
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }

    QQuickItem* find(const char* objectName) const { return view->findChild<QQuickItem*>(objectName); }
    QObject* bubble() const { return view->property("bubble").value<QObject*>(); }
    QQuickItem* card() const { return bubble()->property("current").value<QQuickItem*>(); }

    // The view as drawn, alpha kept.
    QImage grab() const {
        // The art is decoded off the main thread; what is under way arrives first.
        PetImageStore::shared().drain();
        const QSharedPointer<QQuickItemGrabResult> result = view->grabToImage();
        if (!result)
            return {};
        bool ready = false;
        QObject::connect(result.data(), &QQuickItemGrabResult::ready, [&ready] { ready = true; });
        if (!QTest::qWaitFor([&ready] { return ready; }, 5000))
            return {};
        return result->image();
    }

    fakes::MemoryPreferences preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings;
    fakes::ManualClock clock;
    fakes::ManualScheduler scheduler{clock};
    fakes::SeededRandom random{1};
    std::vector<Verdict> verdicts;
    PetViewModel model;
    QQmlEngine engine;
    QQuickWindow window;
    QQuickItem* view = nullptr;
};

inline ApprovalPrompt approvalPrompt(const QString& command, ApprovalRisk risk = ApprovalRisk::risky) {
    ApprovalPrompt prompt;
    prompt.id = QUuid::createUuid();
    prompt.eventId = QUuid::createUuid();
    prompt.provider = AgentProvider(QStringLiteral("claude"));
    prompt.title = QStringLiteral("Claude Code wants to continue");
    prompt.command = command;
    prompt.risk = risk;
    return prompt;
}

} // namespace nubbo::testing

// The Remote hosts card's model: the hosts as the card lists them, and Add and Remove through the functions
// the app hands in, whose answers may come from another thread, or after the window has gone.
#include "shell/models/RemoteHostsModel.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace nubbo {
namespace {

TEST(RemoteHostsModel, ListsTheHostsAndRunsOneActionAtATimeWhateverThreadAnswers) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    Language language = Language::en;
    auto model = std::make_unique<RemoteHostsModel>([&] { return language; });
    QSignalSpy listed(model.get(), &RemoteHostsModel::hostsChanged);
    const QList<RemoteHostStatus> hosts{{"build-box", "alice@build-box", RemoteHostState::unreachable, "refused"}};
    model->setHosts(hosts);
    model->setHosts(hosts);
    EXPECT_EQ(listed.count(), 1);
    EXPECT_EQ(model->hosts(), (QVariantList{QVariantMap{{"name", "build-box"}, {"destination", "alice@build-box"},
                                                        {"state", "unreachable"}, {"reason", "refused"}}}));

    // Nothing handed in yet: the buttons say so, in the window's language.
    model->add("alice@box");
    EXPECT_EQ(model->error(), "Adding a host is not available in this build.");
    language = Language::zh;
    model->remove("build-box");
    EXPECT_EQ(model->error(), "此版本无法移除主机。");
    EXPECT_FALSE(model->busy());

    QStringList asked;
    std::function<void(const QString&)> answer;
    model->setActions([&](const QString& text, auto done) { asked << "add " + text; answer = done; },
                      [&](const QString& name, auto done) { asked << "remove " + name; answer = done; });
    model->add("  alice@box:2222 ");
    EXPECT_TRUE(model->busy());
    EXPECT_EQ(model->error(), "");
    model->remove("build-box");  // waits for the add to end: ignored
    std::thread([answer] { answer("alice@box: Permission denied (publickey)."); }).join();
    EXPECT_TRUE(model->busy());  // the answer is taken on the model's thread
    QCoreApplication::processEvents();
    EXPECT_FALSE(model->busy());
    EXPECT_EQ(model->error(), "alice@box: Permission denied (publickey).");
    model->remove("build-box");
    answer("");
    QCoreApplication::processEvents();
    EXPECT_EQ(model->error(), "");
    EXPECT_EQ(asked, (QStringList{"add alice@box:2222", "remove build-box"}));

    // An answer after the window's model has gone is dropped.
    model->add("gpu");
    model.reset();
    answer("late");
    QCoreApplication::processEvents();
}

} // namespace
} // namespace nubbo

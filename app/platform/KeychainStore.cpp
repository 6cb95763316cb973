#include "platform/KeychainStore.h"

#include "core/NubboLog.h"

#include <QCoreApplication>
#include <QThread>
#include <qt6keychain/keychain.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace nubbo {
namespace {

enum class Operation { Read, Write, Remove };

QString verb(Operation operation) {
    switch (operation) {
    case Operation::Read: return QStringLiteral("read");
    case Operation::Write: return QStringLiteral("write");
    case Operation::Remove: return QStringLiteral("remove");
    }
    return {};
}

// Shared by the waiting caller and the job's finish handler: the caller may give up first, so neither side
// owns it alone.
struct Call {
    std::mutex mutex;
    std::condition_variable finishedCondition;
    bool finished = false;
    bool abandoned = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
    QString value;
};

// Calls given up on whose jobs are still running. QtKeychain runs one job at a time, so while one hangs
// every later job would queue behind it; new calls give up at once instead of each waiting out its time-out.
std::mutex unansweredMutex;
std::condition_variable unansweredDrained;
int unansweredCalls = 0;

bool anyUnanswered() {
    std::lock_guard lock(unansweredMutex);
    return unansweredCalls > 0;
}

void addUnanswered(int delta) {
    std::lock_guard lock(unansweredMutex);
    unansweredCalls += delta;
    if (unansweredCalls == 0) unansweredDrained.notify_all();
}

// QtKeychain's job queue is process-wide, not thread safe, and bound to the thread of the first job, so
// every job starts on this one thread, which lives as long as the application object. Waiting on it also
// keeps nested event loops (and the re-entrancy they bring) off the caller's thread.
std::mutex threadMutex;
QThread* keychainThread = nullptr;
QObject* threadContext = nullptr;
bool threadStopped = false;

void stopKeychainThread() {
    std::lock_guard lock(threadMutex);
    threadStopped = true;
    if (!keychainThread) return;
    keychainThread->quit();
    keychainThread->wait();
    // A job that never answered stays behind with the stopped thread; its callback can no longer run.
    delete threadContext;
    delete keychainThread;
    threadContext = nullptr;
    keychainThread = nullptr;
}

// False when there is no application object, or no longer one: a new thread would find the job queue still
// bound to the old one.
bool postToKeychainThread(std::function<void()> work) {
    std::lock_guard lock(threadMutex);
    if (!keychainThread) {
        if (threadStopped || !QCoreApplication::instance()) return false;
        keychainThread = new QThread;
        keychainThread->setObjectName(QStringLiteral("keychain"));
        threadContext = new QObject;
        threadContext->moveToThread(keychainThread);
        keychainThread->start();
        qAddPostRoutine(stopKeychainThread);
    }
    QMetaObject::invokeMethod(threadContext, std::move(work), Qt::QueuedConnection);
    return true;
}

// Runs on the keychain thread.
void startJob(const std::shared_ptr<Call>& call, Operation operation, const QString& key, const QString& value) {
    const QString service = QString::fromLatin1(KeychainStore::kService);
    QKeychain::Job* job = nullptr;
    switch (operation) {
    case Operation::Read: job = new QKeychain::ReadPasswordJob(service); break;
    case Operation::Write: {
        auto* write = new QKeychain::WritePasswordJob(service);
        write->setTextData(value);
        job = write;
        break;
    }
    case Operation::Remove: job = new QKeychain::DeletePasswordJob(service); break;
    }
    job->setKey(key);
    // The job deletes itself once finished, and only then: the Secret Service library keeps a raw pointer to
    // it until its callback runs, so a job whose caller gave up must be left alive, not deleted.
    job->setAutoDelete(true);
    QObject::connect(job, &QKeychain::Job::finished, job, [call](QKeychain::Job* finishedJob) {
        std::lock_guard lock(call->mutex);
        call->finished = true;
        call->error = finishedJob->error();
        call->errorText = finishedJob->errorString();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finishedJob)) call->value = read->textData();
        if (call->abandoned) addUnanswered(-1);
        call->finishedCondition.notify_all();
    });
    job->start();
}

struct Outcome {
    enum class Kind { Answered, TimedOut, Busy, NoApplication };
    Kind kind = Kind::Answered;
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
    QString value;

    static Outcome of(Kind kind) {
        Outcome outcome;
        outcome.kind = kind;
        return outcome;
    }
};

Outcome run(Operation operation, const QString& key, const QString& value, std::chrono::milliseconds timeout) {
    if (anyUnanswered()) return Outcome::of(Outcome::Kind::Busy);
    auto call = std::make_shared<Call>();
    if (!postToKeychainThread([call, operation, key, value] { startJob(call, operation, key, value); }))
        return Outcome::of(Outcome::Kind::NoApplication);

    std::unique_lock lock(call->mutex);
    if (!call->finishedCondition.wait_for(lock, timeout, [&] { return call->finished; })) {
        call->abandoned = true;
        addUnanswered(+1);
        return Outcome::of(Outcome::Kind::TimedOut);
    }
    Outcome answered;
    answered.error = call->error;
    answered.errorText = call->errorText;
    answered.value = call->value;
    return answered;
}

// Logs anything but success; a missing item is not a failure for a read or a removal.
void report(Operation operation, const QString& key, const Outcome& outcome, std::chrono::milliseconds timeout) {
    const QString prefix = QStringLiteral("keychain: ") + verb(operation) + u' ' + key;
    switch (outcome.kind) {
    case Outcome::Kind::Answered:
        if (outcome.error == QKeychain::NoError) return;
        if (outcome.error == QKeychain::EntryNotFound && operation != Operation::Write) return;
        NubboLog::log(prefix + QStringLiteral(" failed: ") + outcome.errorText);
        return;
    case Outcome::Kind::TimedOut:
        NubboLog::log(prefix + QStringLiteral(" timed out after %1 ms").arg(timeout.count()));
        return;
    case Outcome::Kind::Busy:
        NubboLog::log(prefix + QStringLiteral(" skipped: an earlier call is still unanswered"));
        return;
    case Outcome::Kind::NoApplication:
        NubboLog::log(prefix + QStringLiteral(" skipped: no application object"));
        return;
    }
}

} // namespace

KeychainStore::KeychainStore(std::chrono::milliseconds timeout) : timeout_(timeout) {}

KeychainStore& KeychainStore::shared() {
    static KeychainStore store;
    return store;
}

std::optional<QString> KeychainStore::string(const QString& key) {
    const Outcome outcome = run(Operation::Read, key, {}, timeout_);
    report(Operation::Read, key, outcome, timeout_);
    if (outcome.kind == Outcome::Kind::Answered && outcome.error == QKeychain::NoError) return outcome.value;
    return std::nullopt;
}

void KeychainStore::set(const QString& value, const QString& key) {
    const QString trimmed = value.trimmed();
    if (trimmed.isEmpty()) {
        remove(key);
        return;
    }
    report(Operation::Write, key, run(Operation::Write, key, trimmed, timeout_), timeout_);
}

void KeychainStore::remove(const QString& key) {
    report(Operation::Remove, key, run(Operation::Remove, key, {}, timeout_), timeout_);
}

bool KeychainStore::waitForLateAnswersForTesting(std::chrono::milliseconds bound) {
    std::unique_lock lock(unansweredMutex);
    return unansweredDrained.wait_for(lock, bound, [] { return unansweredCalls == 0; });
}

} // namespace nubbo

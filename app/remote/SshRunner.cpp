#include "remote/SshRunner.h"

#include <QMetaObject>
#include <QProcess>

#include <memory>

namespace nubbo {
namespace {

// ssh -v writes a few kilobytes while it connects; a line this long is not ssh's and is cut.
constexpr qsizetype kMaxLine = 4096;

class LocalSshProcess final : public SshProcess {
public:
    LocalSshProcess(const QStringList& arguments, SshRunner::Handlers handlers)
        : process_(new QProcess), handlers_(std::move(handlers)) {
        process_->setStandardInputFile(QProcess::nullDevice());
        process_->setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(process_, &QProcess::readyReadStandardError, process_, [this] { readLines(); });
        QObject::connect(process_, &QProcess::finished, process_, [this](int code, QProcess::ExitStatus status) {
            readLines();
            flushPartial();
            finish(status == QProcess::NormalExit ? code : -1);
        });
        QObject::connect(process_, &QProcess::errorOccurred, process_, [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            // Reported on the next turn of the loop, as the contract of start() asks.
            QMetaObject::invokeMethod(process_, [this, alive = std::weak_ptr<int>(alive_), text = process_->errorString()] {
                if (alive.expired())
                    return;
                if (handlers_.line)
                    handlers_.line(QStringLiteral("ssh could not be started: ") + text);
                finish(-1);
            }, Qt::QueuedConnection);
        });
        process_->start(QStringLiteral("ssh"), arguments);
    }

    ~LocalSshProcess() override {
        QObject::disconnect(process_, nullptr, nullptr, nullptr);
        if (process_->state() != QProcess::NotRunning) {
            process_->kill();
            process_->waitForFinished(1000);
        }
        // It may be in the middle of emitting a signal that led here.
        process_->deleteLater();
    }

private:
    void readLines() {
        partial_ += process_->readAllStandardError();
        qsizetype end;
        while ((end = partial_.indexOf('\n')) >= 0) {
            const QByteArray line = partial_.left(end);
            partial_.remove(0, end + 1);
            emitLine(line);
        }
        if (partial_.size() > kMaxLine) {
            emitLine(partial_.left(kMaxLine));
            partial_.clear();
        }
    }

    void flushPartial() {
        if (!partial_.isEmpty())
            emitLine(partial_);
        partial_.clear();
    }

    void emitLine(QByteArray line) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (handlers_.line)
            handlers_.line(QString::fromUtf8(line.left(kMaxLine)));
    }

    void finish(int code) {
        // The handler may destroy this object: nothing of it is touched afterwards.
        const auto done = std::move(handlers_.finished);
        handlers_.finished = nullptr;
        if (done)
            done(code);
    }

    QProcess* process_;
    SshRunner::Handlers handlers_;
    QByteArray partial_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace

std::unique_ptr<SshProcess> LocalSshRunner::start(const QStringList& arguments, Handlers handlers) {
    return std::make_unique<LocalSshProcess>(arguments, std::move(handlers));
}

} // namespace nubbo

// Opens the settings window. The window itself is not built yet: until it is, a request is logged so the
// callers (the pet menu, the double click, the first launch) are wired and observable.
#pragma once

#include <QObject>

#include <functional>

namespace nubbo {

class SettingsWindowController : public QObject {
    Q_OBJECT

public:
    using LogFunction = std::function<void(const QString& line)>;
    explicit SettingsWindowController(LogFunction log, QObject* parent = nullptr);

    // Creates the window on first use, then raises it to the front.
    void show();
    int showCount() const { return showCount_; }

Q_SIGNALS:
    void shown();

private:
    LogFunction log_;
    int showCount_ = 0;
};

} // namespace nubbo

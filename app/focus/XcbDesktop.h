// The real X11 desktop through xcb, on the display DISPLAY names. Every reply is awaited with a deadline, so a
// stuck server never holds a request past its bound.
#pragma once

#include "focus/X11Desktop.h"

#include <QByteArray>

namespace nubbo {

class XcbDesktop : public X11Desktop {
public:
    static constexpr int kReplyTimeoutMs = 300;

    // An empty display name reads DISPLAY at each connect().
    explicit XcbDesktop(QByteArray display = {});
    std::unique_ptr<X11Connection> connect() override;

private:
    QByteArray display_;
};

} // namespace nubbo

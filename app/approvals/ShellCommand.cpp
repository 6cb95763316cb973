#include "approvals/ShellCommand.h"

namespace nubbo {

namespace {

bool allDigits(QStringView text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

} // namespace

QStringView ShellWord::baseName() const {
    const qsizetype slash = text.lastIndexOf(u'/');
    return slash < 0 ? QStringView(text) : QStringView(text).sliced(slash + 1);
}

bool ShellRedirection::duplicatesDescriptor() const {
    if (op != u">&" && op != u"<&")
        return false;
    return !target.expanded() && (target.text == u"-" || allDigits(target.text));
}

bool ShellRedirection::writesFile() const {
    if (op == u">&")
        return !duplicatesDescriptor();  // ">& file" sends both outputs to the file
    return op == u">" || op == u">>" || op == u">|" || op == u"&>" || op == u"&>>" || op == u"<>";
}

bool ShellRedirection::readsFile() const {
    if (op == u"<&")
        return !duplicatesDescriptor();
    return op == u"<" || op == u"<>";
}

bool ShellRedirection::feedsText() const { return op == u"<<" || op == u"<<-" || op == u"<<<"; }

} // namespace nubbo

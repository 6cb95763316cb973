#include "bridge/Narration.h"

#include "common/Utf8Text.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nubbo::bridge {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

} // namespace

std::optional<std::vector<std::string>> tailLines(const std::string& path, std::uint64_t tailSize) {
    // Non-blocking so that a FIFO named as a transcript cannot hold the hook; only regular files are read.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return std::nullopt;

    const auto size = static_cast<std::uint64_t>(info.st_size);
    const std::uint64_t start = size > tailSize ? size - tailSize : 0;
    std::string window(static_cast<std::size_t>(size - start), '\0');
    std::size_t got = 0;
    while (got < window.size()) {
        const auto n = ::pread(file.get(), window.data() + got, window.size() - got,
                               static_cast<off_t>(start + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;  // truncated meanwhile: keep what is there
        got += static_cast<std::size_t>(n);
    }
    window.resize(got);

    // A window that starts mid-file may start inside a character; that partial line is dropped below anyway,
    // so only the orphaned continuation bytes (at most three) are skipped rather than failing the whole tail.
    std::string_view bytes = window;
    if (start > 0) {
        std::size_t skip = 0;
        while (skip < 3 && skip < bytes.size() && isContinuationByte(bytes[skip])) ++skip;
        bytes.remove_prefix(skip);
    }
    if (!text::isValidUtf8(bytes)) return std::nullopt;

    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < bytes.size();) {
        auto end = bytes.find('\n', begin);
        if (end == std::string_view::npos) end = bytes.size();
        if (end > begin) lines.emplace_back(bytes.substr(begin, end - begin));
        begin = end + 1;
    }
    if (start > 0 && lines.size() > 1) lines.erase(lines.begin());
    return lines;
}

} // namespace nubbo::bridge

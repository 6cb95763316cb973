// How much art a custom picture or a pet pack may bring, and the checks that hold it to that before a
// single picture is decoded: a pack comes from anywhere, and a few kilobytes of PNG can claim gigabytes of
// pixels.
#pragma once

#include <QFile>
#include <QSize>
#include <QString>

#include <optional>

namespace nubbo {

struct PetArtLimits {
    // Either side, in pixels. Art is drawn at a few hundred pixels; 2048 leaves room for any screen while
    // one decode stays at 16 MiB.
    int maxSide = 2048;
    // Frames of one loop: the official loops have up to 20, and 120 is eight seconds at 15 frames a second.
    int maxFramesPerLoop = 120;
    // Frames of all the loops of a pack together.
    int maxFrames = 1000;
    // The user's own picture is often a photo: 4096 takes a 12-megapixel one while one decode stays at 64 MiB,
    // and it is decoded once into its drawn size.
    int maxPictureSide = 4096;

    // The limits a custom picture is held to.
    PetArtLimits forPicture() const {
        PetArtLimits limits = *this;
        limits.maxSide = maxPictureSide;
        return limits;
    }
};

// What was refused, for the alert and the log.
struct ArtRefusal {
    enum class Reason {
        // file, size and limit (the longest side allowed)
        tooLarge,
        // file (the loop's folder), count and limit
        tooManyFramesInLoop,
        // count and limit
        tooManyFrames,
    };
    Reason reason = Reason::tooLarge;
    // As the user knows it: a pack's files relative to the pack ("frames/idle/001.png"), a picture by name.
    QString file;
    QSize size;
    int count = 0;
    int limit = 0;

    bool operator==(const ArtRefusal&) const = default;
};

namespace petart {

// True when path names a regular file (links followed), asked with stat(): opening a FIFO or a device to
// find out could block for ever.
bool isRegularFile(const QString& path);

// Opens path for reading into file when it is a regular file: stat() first, then a non-blocking open
// checked again on its descriptor, in case the name was swapped for a FIFO in between. False otherwise.
bool openRegularFile(const QString& path, QFile& file);

// The picture's size as its header states it, without decoding it; invalid when it is no regular file or
// no picture. The file is opened without blocking.
QSize headerSize(const QString& path);

// A picture larger than the limits allow, named as shownName.
std::optional<ArtRefusal> checkPicture(const QString& path, const QString& shownName, const PetArtLimits& limits);

// Every picture the pack's images/ and frames/<loop>/ folders hold (as the pet would look for them) and
// the frame counts. The first refusal, in file-name order; none when the pack is within the limits.
std::optional<ArtRefusal> checkPack(const QString& root, const PetArtLimits& limits);

// A frame folder's frame files in playing order: PNGs by extension (any case), hidden files skipped,
// plain file-name order.
QStringList frameFiles(const QString& directory);

} // namespace petart
} // namespace nubbo

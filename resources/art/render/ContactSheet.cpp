#include "ContactSheet.h"

#include <QDir>
#include <QFont>
#include <QPainter>

namespace nubbo::art {
namespace {

constexpr int kCell = 120, kGap = 8, kLabel = 170;
const QColor kLight(0xFF, 0xFF, 0xFF), kDark(0x17, 0x18, 0x1C);

QImage cell(const QString& path) {
    QImage image(path);
    return image.isNull() ? image : image.scaled(kCell, kCell, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QStringList framePaths(const QString& resources, const QString& folder) {
    QDir dir(resources + QStringLiteral("/PetFrames/") + folder);
    QStringList paths;
    for (const QString& name : dir.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
        paths.append(dir.filePath(name));
    return paths;
}

QFont labelFont(int pixels) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    return font;
}

void label(QPainter& p, const QRect& r, const QString& text, const QColor& ground, int flags) {
    p.setPen(ground.lightness() > 128 ? QColor(0x30, 0x30, 0x38) : QColor(0xE8, 0xE8, 0xEE));
    p.drawText(r, flags, text);
}

} // namespace

QImage contactSheet(const ArtBook& book, const QString& resources) {
    struct Row { QString name; QStringList paths; };
    QList<Row> rows;
    QStringList stills;
    for (const auto& [name, spec] : book.stills())
        stills.append(resources + QStringLiteral("/PetImages/") + name + QStringLiteral(".png"));
    rows.append({QStringLiteral("stills"), stills});
    int widest = int(stills.size());
    for (const QString& folder : book.folders()) {
        const QStringList paths = framePaths(resources, folder);
        rows.append({QStringLiteral("%1 (%2)").arg(folder).arg(paths.size()), paths});
        widest = std::max(widest, int(paths.size()));
    }
    const int panelWidth = kLabel + widest * (kCell + kGap) + kGap;
    const int rowHeight = kCell + kGap;
    const int panelHeight = int(rows.size()) * rowHeight + kGap + 22;
    QImage sheet(panelWidth, panelHeight * 2, QImage::Format_ARGB32);
    QPainter p(&sheet);
    p.setFont(labelFont(15));
    int top = 0;
    for (const QColor& ground : {kLight, kDark}) {
        p.fillRect(0, top, panelWidth, panelHeight, ground);
        int y = top + kGap;
        for (const Row& row : std::as_const(rows)) {
            label(p, QRect(kGap, y, kLabel - kGap, kCell), row.name, ground, Qt::AlignVCenter | Qt::AlignLeft);
            int x = kLabel;
            for (const QString& path : row.paths) {
                p.drawImage(x, y, cell(path));
                x += kCell + kGap;
            }
            y += rowHeight;
        }
        // Still names under the first row would crowd it; they are listed once at the bottom instead.
        QStringList names;
        for (const auto& [name, spec] : book.stills())
            names.append(name);
        label(p, QRect(kGap, y, panelWidth, 20), QStringLiteral("stills: ") + names.join(QStringLiteral(", ")), ground,
              Qt::AlignLeft | Qt::AlignTop);
        top += panelHeight;
    }
    return sheet;
}

QImage statesGrid(const ArtBook& book, const QString& resources) {
    constexpr int columns = 8, caption = 22;
    const int count = int(book.folders().size());
    const int rowsPerGround = (count + columns - 1) / columns;
    const int width = columns * (kCell + kGap) + kGap;
    const int groundHeight = rowsPerGround * (kCell + caption + kGap) + kGap;
    QImage grid(width, groundHeight * 2, QImage::Format_ARGB32);
    QPainter p(&grid);
    p.setFont(labelFont(12));
    int top = 0;
    for (const QColor& ground : {kLight, kDark}) {
        p.fillRect(0, top, width, groundHeight, ground);
        for (int i = 0; i < count; ++i) {
            const QString& folder = book.folders()[i];
            const QStringList paths = framePaths(resources, folder);
            if (paths.isEmpty())
                continue;
            const int x = kGap + (i % columns) * (kCell + kGap);
            const int y = top + kGap + (i / columns) * (kCell + caption + kGap);
            // A frame from the middle of the loop shows the pose at its most telling.
            p.drawImage(x, y, cell(paths[paths.size() / 2]));
            label(p, QRect(x, y + kCell, kCell, caption), folder, ground, Qt::AlignCenter);
        }
        top += groundHeight;
    }
    return grid;
}

} // namespace nubbo::art

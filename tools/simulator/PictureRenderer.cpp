#include "PictureRenderer.h"

#include <QBuffer>
#include <QColor>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QRectF>

namespace lydevice::sim
{

namespace
{
    // Segments a to g of a seven-segment cell: a top, b top right, c bottom right, d bottom,
    // e bottom left, f top left, g middle.
    enum Segment { A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64 };

    int segmentsOf(QChar glyph)
    {
        switch (glyph.unicode()) {
        case '0':
            return A | B | C | D | E | F;
        case '1':
            return B | C;
        case '2':
            return A | B | G | E | D;
        case '3':
            return A | B | G | C | D;
        case '4':
            return F | G | B | C;
        case '5':
            return A | F | G | C | D;
        case '6':
            return A | F | G | E | C | D;
        case '7':
            return A | B | C;
        case '8':
            return A | B | C | D | E | F | G;
        case '9':
            return A | B | C | D | F | G;
        case 'C':
            return A | F | E | D;
        case 'H':
            return F | E | B | C | G;
        case '-':
            return G;
        default:
            return 0;
        }
    }
} // namespace

PictureRenderer::PictureRenderer(const QSize &size, int quality)
    : size(size.isValid() && size.width() <= 4096 && size.height() <= 4096 ? size : QSize(320, 180))
    , quality(qBound(1, quality, 100))
{
}

QImage PictureRenderer::render(const QString &caption, const QString &stamp, quint64 variation) const
{
    QImage image(size, QImage::Format_RGB32);
    const int hue = static_cast<int>(variation % 360);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);

    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor::fromHsv(hue, 120, 200));
    sky.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 160, 70));
    painter.fillRect(image.rect(), sky);

    // A few seeded blocks as the scene.
    quint64 bits = variation;
    for (int i = 0; i < 6; ++i) {
        bits = bits * 6364136223846793005ULL + 1442695040888963407ULL;
        const int w = size.width() / 8 + static_cast<int>((bits >> 33) % static_cast<quint64>(size.width() / 4 + 1));
        const int h = size.height() / 6 + static_cast<int>((bits >> 17) % static_cast<quint64>(size.height() / 3 + 1));
        const int x = static_cast<int>((bits >> 45) % static_cast<quint64>(size.width()));
        painter.fillRect(QRect(x, size.height() - h - size.height() / 6, w, h),
            QColor::fromHsv((hue + 180 + i * 25) % 360, 90, 90 + i * 20));
    }

    const qreal band = size.height() / 6.0;
    painter.fillRect(QRectF(0, 0, size.width(), band), QColor(0, 0, 0, 255));
    painter.fillRect(QRectF(0, size.height() - band, size.width(), band), QColor(0, 0, 0, 255));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255));
    drawText(painter, QRectF(band * 0.3, band * 0.15, size.width() - band * 0.6, band * 0.7), caption);
    drawText(painter, QRectF(band * 0.3, size.height() - band * 0.85, size.width() - band * 0.6, band * 0.7), stamp);
    painter.end();
    return image;
}

QByteArray PictureRenderer::encode(const QImage &image) const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QByteArrayLiteral("jpg"));
    writer.setQuality(quality);
    if (!writer.write(image))
        return QByteArray();
    return bytes;
}

void PictureRenderer::drawText(QPainter &painter, const QRectF &box, const QString &text)
{
    if (text.isEmpty())
        return;
    // Cells are half as wide as high, but shrink to fit the box.
    const qreal cellWidth = qMin(box.height() * 0.55, box.width() / text.size());
    for (int i = 0; i < text.size(); ++i)
        drawGlyph(painter, QRectF(box.left() + i * cellWidth, box.top(), cellWidth * 0.8, box.height()), text.at(i));
}

void PictureRenderer::drawGlyph(QPainter &painter, const QRectF &cell, QChar glyph)
{
    const qreal t = qMax<qreal>(1.0, cell.width() / 5.0); // stroke
    const qreal l = cell.left(), r = cell.right() - t, top = cell.top(), mid = cell.center().y() - t / 2,
                bottom = cell.bottom() - t;
    const qreal halfHeight = cell.height() / 2;
    if (glyph == QLatin1Char(':')) {
        painter.drawRect(QRectF(cell.center().x() - t / 2, top + halfHeight * 0.4, t, t));
        painter.drawRect(QRectF(cell.center().x() - t / 2, top + halfHeight * 1.4, t, t));
        return;
    }
    const int segments = segmentsOf(glyph);
    if (segments & A)
        painter.drawRect(QRectF(l, top, cell.width(), t));
    if (segments & B)
        painter.drawRect(QRectF(r, top, t, halfHeight));
    if (segments & C)
        painter.drawRect(QRectF(r, mid, t, halfHeight));
    if (segments & D)
        painter.drawRect(QRectF(l, bottom, cell.width(), t));
    if (segments & E)
        painter.drawRect(QRectF(l, mid, t, halfHeight));
    if (segments & F)
        painter.drawRect(QRectF(l, top, t, halfHeight));
    if (segments & G)
        painter.drawRect(QRectF(l, mid, cell.width(), t));
}

} // namespace lydevice::sim

#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

class QPainter;
class QRectF;

namespace lydevice::sim
{

// Draws the captured pictures: a seeded scene with the channel number at the top and the capture
// time at the bottom. Every character is drawn from rectangles (seven-segment style), not with
// fonts, so rendering needs no QGuiApplication and gives the same pixels everywhere.
class PictureRenderer
{
public:
    PictureRenderer(const QSize &size, int quality);

    // `caption` is the top line ("CH 03"), `stamp` the bottom one ("2024-03-01 08:15:00"); the
    // characters drawn are the digits, "C", "H", "-", ":" and the blank. `variation` picks colours
    // and scene.
    QImage render(const QString &caption, const QString &stamp, quint64 variation) const;
    // JPEG bytes of the image; empty when no JPEG writer is available.
    QByteArray encode(const QImage &image) const;

private:
    static void drawText(QPainter &painter, const QRectF &box, const QString &text);
    static void drawGlyph(QPainter &painter, const QRectF &cell, QChar glyph);

    QSize size;
    int quality;
};

} // namespace lydevice::sim

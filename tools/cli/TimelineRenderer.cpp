#include "TimelineRenderer.h"

#include <QFont>
#include <QFontMetrics>
#include <QImageWriter>
#include <QPainter>

#include <cmath>

namespace
{

const QRgb palette[] = {
    0xff1f77b4,
    0xffd62728,
    0xff2ca02c,
    0xffff7f0e,
    0xff9467bd,
    0xff8c564b,
    0xffe377c2,
    0xff17becf,
    0xffbcbd22,
    0xff7f7f7f,
    0xff393b79,
    0xff637939,
};

QColor laneColour(int lane)
{
    const int count = static_cast<int>(sizeof palette / sizeof palette[0]);
    return QColor::fromRgba(palette[lane % count]);
}

// Seconds between axis ticks: the shortest step whose labels do not crowd the axis.
qint64 tickStep(qint64 spanSeconds, int width)
{
    static const qint64 steps[] = {
        1, 5, 10, 30, 60, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800, 2592000, 31536000
    };
    const qint64 maxTicks = qMax(2, width / 90);
    for (const qint64 step : steps) {
        if (spanSeconds / step <= maxTicks)
            return step;
    }
    return qMax<qint64>(1, spanSeconds / maxTicks);
}

} // namespace

TimelineRenderer::TimelineRenderer(const QDateTime &from, const QDateTime &to)
    : low(from.toMSecsSinceEpoch())
    , high(qMax(to.toMSecsSinceEpoch(), from.toMSecsSinceEpoch() + 1000))
{
}

void TimelineRenderer::setTitle(const QString &text)
{
    title = text;
}

int TimelineRenderer::lane(const QString &name, Mark mark)
{
    for (int i = 0; i < lanes.size(); ++i) {
        if (lanes.at(i).name == name && lanes.at(i).mark == mark)
            return i;
    }
    if (lanes.size() >= kMaxLanes) {
        Lane &other = lanes.last();
        other.name = QStringLiteral("other");
        return lanes.size() - 1;
    }
    Lane lane;
    lane.name = name;
    lane.mark = mark;
    lanes.append(lane);
    return lanes.size() - 1;
}

int TimelineRenderer::laneCount() const
{
    return lanes.size();
}

void TimelineRenderer::addRecord(int index, const QDateTime &start, const QDateTime &end)
{
    if (index < 0 || index >= lanes.size())
        return;
    Lane &lane = lanes[index];
    ++lane.count;
    if (!start.isValid() || !end.isValid() || marks >= kMaxMarks)
        return;
    const qint64 a = qMax(start.toMSecsSinceEpoch(), low);
    const qint64 b = qMin(end.toMSecsSinceEpoch(), high);
    if (b < a)
        return;
    lane.starts.append(a);
    lane.ends.append(b);
    ++marks;
}

void TimelineRenderer::addTick(int index, const QDateTime &time)
{
    addRecord(index, time, time);
}

QImage TimelineRenderer::render(const QSize &size) const
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    if (size.width() < 100 || size.height() < 100)
        return image;

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height();

    const int width = size.width();
    const int height = size.height();
    const int labelWidth = qBound(80, width / 7, 200);
    const int plotLeft = labelWidth;
    const int plotRight = width - 16;
    const int plotWidth = plotRight - plotLeft;
    const int plotTop = lineHeight + 14;
    const int legendTop = height - lineHeight - 10;
    const int plotBottom = legendTop - lineHeight - 16; // the axis labels sit between
    const int laneCount = qMax(1, lanes.size());
    const int laneHeight = qMax(1, (plotBottom - plotTop) / laneCount);

    // Title.
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(Qt::black);
    painter.drawText(QRect(8, 4, width - 16, lineHeight + 4),
        Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(bold).elidedText(title, Qt::ElideRight, width - 16));
    painter.setFont(font);

    // Pixel column of a time; computed in floating point and clamped before it becomes an int.
    const double span = static_cast<double>(high - low);
    const auto column = [&](qint64 time) {
        const double x = std::floor(static_cast<double>(time - low) / span * plotWidth);
        return static_cast<int>(qBound(0.0, x, static_cast<double>(plotWidth - 1)));
    };

    // Axis: grid lines and labels at round local times.
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(low);
    const qint64 spanSeconds = (high - low) / 1000;
    const qint64 step = tickStep(qMax<qint64>(1, spanSeconds), plotWidth);
    const QString format = step >= 86400 ? QStringLiteral("yyyy-MM-dd")
        : spanSeconds > 86400            ? QStringLiteral("MM-dd HH:mm")
        : step < 60                      ? QStringLiteral("HH:mm:ss")
                                         : QStringLiteral("HH:mm");
    const QDateTime midnight(from.date(), QTime(0, 0));
    const qint64 sinceMidnight = midnight.secsTo(from);
    qint64 tick = sinceMidnight <= 0 ? 0 : (sinceMidnight + step - 1) / step * step;
    painter.setPen(QColor(0x99, 0x99, 0x99));
    painter.drawLine(plotLeft, plotBottom, plotRight, plotBottom);
    for (int drawn = 0; drawn < 400; ++drawn, tick += step) {
        const QDateTime at = midnight.addSecs(tick);
        const qint64 ms = at.toMSecsSinceEpoch();
        if (ms > high)
            break;
        if (ms < low)
            continue;
        const int x = plotLeft + column(ms);
        painter.setPen(QColor(0xe0, 0xe0, 0xe0));
        painter.drawLine(x, plotTop, x, plotBottom);
        painter.setPen(QColor(0x55, 0x55, 0x55));
        painter.drawLine(x, plotBottom, x, plotBottom + 4);
        const QString label = at.toString(format);
        const int labelX
            = qBound(0, x - metrics.horizontalAdvance(label) / 2, width - metrics.horizontalAdvance(label));
        painter.drawText(labelX, plotBottom + 6 + metrics.ascent(), label);
    }

    // Lanes: a band with the lane's name, then its records in pixel columns. Overlapping records
    // merge; each column that any record touches is painted once.
    for (int i = 0; i < lanes.size(); ++i) {
        const Lane &lane = lanes.at(i);
        const int top = plotTop + i * laneHeight;
        if (i % 2 == 1)
            painter.fillRect(QRect(plotLeft, top, plotWidth, laneHeight), QColor(0xf4, 0xf4, 0xf4));
        painter.setPen(Qt::black);
        painter.drawText(QRect(6, top, labelWidth - 12, laneHeight),
            Qt::AlignRight | Qt::AlignVCenter,
            metrics.elidedText(lane.name, Qt::ElideRight, labelWidth - 12));

        QVector<int> depth(plotWidth + 1, 0);
        for (int k = 0; k < lane.starts.size(); ++k) {
            ++depth[column(lane.starts.at(k))];
            --depth[column(lane.ends.at(k)) + 1];
        }
        const QColor colour = laneColour(i);
        const int markHeight = qBound(1, lane.mark == Mark::Bars ? laneHeight * 3 / 5 : laneHeight * 4 / 5, 40);
        const int markTop = top + (laneHeight - markHeight) / 2;
        int running = 0;
        int runStart = -1;
        for (int x = 0; x <= plotWidth; ++x) {
            running += depth.at(x);
            const bool covered = x < plotWidth && running > 0;
            if (covered && runStart < 0)
                runStart = x;
            if (!covered && runStart >= 0) {
                if (lane.mark == Mark::Bars) {
                    painter.fillRect(QRect(plotLeft + runStart, markTop, x - runStart, markHeight), colour);
                } else {
                    painter.setPen(colour);
                    for (int t = runStart; t < x; ++t)
                        painter.drawLine(plotLeft + t, markTop, plotLeft + t, markTop + markHeight - 1);
                }
                runStart = -1;
            }
        }
    }
    if (lanes.isEmpty()) {
        painter.setPen(QColor(0x77, 0x77, 0x77));
        painter.drawText(QRect(plotLeft, plotTop, plotWidth, plotBottom - plotTop),
            Qt::AlignCenter,
            QStringLiteral("nothing found"));
    }

    // Legend: the mark and colour of each lane, with how many it holds.
    int x = 8;
    for (int i = 0; i < lanes.size(); ++i) {
        const Lane &lane = lanes.at(i);
        const QString text = QStringLiteral("%1 (%2)").arg(lane.name).arg(lane.count);
        const int needed = 20 + metrics.horizontalAdvance(text) + 16;
        if (x + needed > width)
            break;
        const QColor colour = laneColour(i);
        const int middle = legendTop + lineHeight / 2;
        if (lane.mark == Mark::Bars) {
            painter.fillRect(QRect(x, middle - 4, 14, 8), colour);
        } else {
            painter.setPen(QPen(colour, 2));
            painter.drawLine(x + 7, middle - 6, x + 7, middle + 6);
        }
        painter.setPen(Qt::black);
        painter.drawText(x + 20, legendTop + metrics.ascent(), text);
        x += needed;
    }
    painter.end();
    return image;
}

bool TimelineRenderer::save(const QString &path, const QSize &size, QString *error) const
{
    QImageWriter writer(path, "png");
    if (writer.write(render(size)))
        return true;
    *error = QStringLiteral("cannot write the timeline %1: %2").arg(path, writer.errorString());
    return false;
}

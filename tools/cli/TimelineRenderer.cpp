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

// Where everything goes in a picture of a given size, and which pixel column shows a time.
struct TimelineRenderer::Layout {
    const QSize size;
    const QFont font;
    const qint64 low;
    const qint64 high;
    const int laneCount;

    const QFontMetrics metrics { font };
    const int lineHeight = metrics.height();
    const int width = size.width();
    const int labelWidth = qBound(80, width / 7, 200);
    const int plotLeft = labelWidth;
    const int plotRight = width - 16;
    const int plotWidth = plotRight - plotLeft;
    const int plotTop = lineHeight + 14;
    const int legendTop = size.height() - lineHeight - 10;
    const int plotBottom = legendTop - lineHeight - 16; // the axis labels sit between
    const int laneHeight = qMax(1, (plotBottom - plotTop) / qMax(1, laneCount));

    // The pixel column of a time; computed in floating point and clamped before it becomes an int.
    int column(qint64 time) const
    {
        const double x = std::floor(static_cast<double>(time - low) / static_cast<double>(high - low) * plotWidth);
        return static_cast<int>(qBound(0.0, x, static_cast<double>(plotWidth - 1)));
    }
};

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
    const Layout layout { size, font, low, high, static_cast<int>(lanes.size()) };
    drawTitle(painter, layout);
    drawAxis(painter, layout);
    for (int i = 0; i < lanes.size(); ++i)
        drawLane(painter, layout, i);
    if (lanes.isEmpty()) {
        painter.setPen(QColor(0x77, 0x77, 0x77));
        painter.drawText(QRect(layout.plotLeft, layout.plotTop, layout.plotWidth, layout.plotBottom - layout.plotTop),
            Qt::AlignCenter,
            QStringLiteral("nothing found"));
    }
    drawLegend(painter, layout);
    painter.end();
    return image;
}

void TimelineRenderer::drawTitle(QPainter &painter, const Layout &layout) const
{
    QFont bold = layout.font;
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(Qt::black);
    painter.drawText(QRect(8, 4, layout.width - 16, layout.lineHeight + 4),
        Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(bold).elidedText(title, Qt::ElideRight, layout.width - 16));
    painter.setFont(layout.font);
}

// Grid lines and labels at round local times.
void TimelineRenderer::drawAxis(QPainter &painter, const Layout &layout) const
{
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(low);
    const qint64 spanSeconds = (high - low) / 1000;
    const qint64 step = tickStep(qMax<qint64>(1, spanSeconds), layout.plotWidth);
    const QString format = step >= 86400 ? QStringLiteral("yyyy-MM-dd")
        : spanSeconds > 86400            ? QStringLiteral("MM-dd HH:mm")
        : step < 60                      ? QStringLiteral("HH:mm:ss")
                                         : QStringLiteral("HH:mm");
    const QDateTime midnight(from.date(), QTime(0, 0));
    const qint64 sinceMidnight = midnight.secsTo(from);
    qint64 tick = sinceMidnight <= 0 ? 0 : (sinceMidnight + step - 1) / step * step;
    const int bottom = layout.plotBottom;
    painter.setPen(QColor(0x99, 0x99, 0x99));
    painter.drawLine(layout.plotLeft, bottom, layout.plotRight, bottom);
    for (int drawn = 0; drawn < 400; ++drawn, tick += step) {
        const QDateTime at = midnight.addSecs(tick);
        const qint64 ms = at.toMSecsSinceEpoch();
        if (ms > high)
            break;
        if (ms < low)
            continue;
        const int x = layout.plotLeft + layout.column(ms);
        painter.setPen(QColor(0xe0, 0xe0, 0xe0));
        painter.drawLine(x, layout.plotTop, x, bottom);
        painter.setPen(QColor(0x55, 0x55, 0x55));
        painter.drawLine(x, bottom, x, bottom + 4);
        const QString label = at.toString(format);
        const int labelWidth = layout.metrics.horizontalAdvance(label);
        painter.drawText(
            qBound(0, x - labelWidth / 2, layout.width - labelWidth), bottom + 6 + layout.metrics.ascent(), label);
    }
}

// A band with the lane's name, then its marks in pixel columns. Overlapping marks merge; each
// column that any mark touches is painted once.
void TimelineRenderer::drawLane(QPainter &painter, const Layout &layout, int index) const
{
    const Lane &lane = lanes.at(index);
    const int top = layout.plotTop + index * layout.laneHeight;
    if (index % 2 == 1)
        painter.fillRect(QRect(layout.plotLeft, top, layout.plotWidth, layout.laneHeight), QColor(0xf4, 0xf4, 0xf4));
    painter.setPen(Qt::black);
    painter.drawText(QRect(6, top, layout.labelWidth - 12, layout.laneHeight),
        Qt::AlignRight | Qt::AlignVCenter,
        layout.metrics.elidedText(lane.name, Qt::ElideRight, layout.labelWidth - 12));

    QVector<int> depth(layout.plotWidth + 1, 0);
    for (int k = 0; k < lane.starts.size(); ++k) {
        ++depth[layout.column(lane.starts.at(k))];
        --depth[layout.column(lane.ends.at(k)) + 1];
    }
    const int markHeight
        = qBound(1, lane.mark == Mark::Bars ? layout.laneHeight * 3 / 5 : layout.laneHeight * 4 / 5, 40);
    const int markTop = top + (layout.laneHeight - markHeight) / 2;
    int running = 0;
    int runStart = -1;
    for (int x = 0; x <= layout.plotWidth; ++x) {
        running += depth.at(x);
        const bool covered = x < layout.plotWidth && running > 0;
        if (covered && runStart < 0)
            runStart = x;
        if (!covered && runStart >= 0) {
            painter.fillRect(QRect(layout.plotLeft + runStart, markTop, x - runStart, markHeight), laneColour(index));
            runStart = -1;
        }
    }
}

// The mark and colour of each lane, with how many it holds, as many as fit.
void TimelineRenderer::drawLegend(QPainter &painter, const Layout &layout) const
{
    const int middle = layout.legendTop + layout.lineHeight / 2;
    int x = 8;
    for (int i = 0; i < lanes.size(); ++i) {
        const Lane &lane = lanes.at(i);
        const QString text = QStringLiteral("%1 (%2)").arg(lane.name).arg(lane.count);
        const int needed = 20 + layout.metrics.horizontalAdvance(text) + 16;
        if (x + needed > layout.width)
            break;
        if (lane.mark == Mark::Bars) {
            painter.fillRect(QRect(x, middle - 4, 14, 8), laneColour(i));
        } else {
            painter.setPen(QPen(laneColour(i), 2));
            painter.drawLine(x + 7, middle - 6, x + 7, middle + 6);
        }
        painter.setPen(Qt::black);
        painter.drawText(x + 20, layout.legendTop + layout.metrics.ascent(), text);
        x += needed;
    }
}

bool TimelineRenderer::save(const QString &path, const QSize &size, QString *error) const
{
    QImageWriter writer(path, "png");
    if (writer.write(render(size)))
        return true;
    *error = QStringLiteral("cannot write the timeline %1: %2").arg(path, writer.errorString());
    return false;
}

#pragma once

#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>
#include <QVector>

class QPainter;

// Draws what a video search found as a picture: a time axis over the searched span, one lane per
// kind of record (general records, tags, each event type), records as bars, tags as ticks, and a
// legend. People read a day of recordings faster this way than from a table.
class TimelineRenderer
{
public:
    enum class Mark {
        Bars, // records: a bar from start to end
        Ticks, // tags: a tick at their time
    };

    TimelineRenderer(const QDateTime &from, const QDateTime &to);

    void setTitle(const QString &title);
    // The lane of a kind of record, made on first use; lanes are drawn in that order. Beyond
    // kMaxLanes kinds, the rest share one lane "other".
    int lane(const QString &name, Mark mark);
    int laneCount() const;
    void addRecord(int lane, const QDateTime &start, const QDateTime &end);
    void addTick(int lane, const QDateTime &time);

    QImage render(const QSize &size) const;
    // Renders and writes a PNG file; false with a message when the file cannot be written.
    bool save(const QString &path, const QSize &size, QString *error) const;

    static constexpr int kMaxLanes = 12;
    // Marks kept per picture; a search can return far more, and the picture cannot show them.
    static constexpr int kMaxMarks = 4 * 1000 * 1000;

private:
    struct Lane {
        QString name;
        Mark mark = Mark::Bars;
        QVector<qint64> starts; // milliseconds since the epoch, clipped to the span
        QVector<qint64> ends;
        int count = 0; // everything added, clipped or not
    };

    struct Layout;
    void drawTitle(QPainter &painter, const Layout &layout) const;
    void drawAxis(QPainter &painter, const Layout &layout) const;
    void drawLane(QPainter &painter, const Layout &layout, int index) const;
    void drawLegend(QPainter &painter, const Layout &layout) const;

    qint64 low;
    qint64 high;
    QString title;
    QVector<Lane> lanes;
    int marks = 0;
};

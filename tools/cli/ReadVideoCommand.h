#pragma once

#include "Command.h"
#include "EntryFormat.h"
#include "TimelineRenderer.h"

#include <QList>
#include <QMap>
#include <QTimer>
#include <QVariant>
#include <QVector>

// read-video: an incremental search (search_video_begin). Each batch is printed as it arrives;
// the reading is ended with search_video_end after its end or failure delivery.
class ReadVideoCommand : public Command
{
    Q_OBJECT

public:
    ReadVideoCommand(const ToolOptions &options, Console &console, const DeviceEndpoint &endpoint);
    void start() override;

private:
    void onDelivery(int code, int type, const QList<QVariant> &records);
    void endReading();
    void writeBatch(int code, int type, const QList<QVariant> &records);
    void writeSummary(int code);
    void showProgress();
    QString batchKind(int type) const;
    bool isTagBatch(int type) const;

    quint64 readerId = 0;
    int batches = 0;
    int entries = 0;
    QMap<int, int> entriesByType; // batch type -> entries delivered
    QVector<entryformat::Interval> intervals;
    TimelineRenderer timeline;
    QTimer ticker;
};

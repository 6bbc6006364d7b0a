#pragma once

#include "Command.h"

#include <QList>
#include <QVariant>

// search-video: one search_video call; every record found is printed at once.
class SearchVideoCommand : public Command
{
    Q_OBJECT

public:
    using Command::Command;
    void start() override;

private:
    void onRecords(int code, const QList<QVariant> &records);
    void writeTable(const QList<QVariant> &records);
    bool writeTimeline(const QList<QVariant> &records);
};

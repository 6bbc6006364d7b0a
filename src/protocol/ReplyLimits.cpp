#include "protocol/ReplyLimits.h"

#include <QDebug>

namespace lydevice
{

int entryCount(qint64 count)
{
    if (count >= 0 && count <= maxEntriesPerReply)
        return int(count);
    qWarning() << "entry count out of range, cut:" << count;
    return count < 0 ? 0 : maxEntriesPerReply;
}

} // namespace lydevice

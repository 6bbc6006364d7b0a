#include "reader/RecordReaderIpc.h"

#include "parse/HashAccess.h"
#include "protocol/CameraFiles.h"

#include <QDebug>

namespace lydevice
{

void RecordReaderIpc::fail()
{
    deliverFailure(RecordVideoType::All);
}

void RecordReaderIpc::onPageCount(bool good, int pageCount)
{
    if (!good) {
        fail();
        return;
    }
    // A span without recordings is reported as a failure.
    if (pageCount == 0) {
        fail();
        return;
    }
    totalPages = pageCount;
    requestPage(1);
}

void RecordReaderIpc::onPage(int page, bool good, const QVariantList &entries)
{
    if (!good) {
        fail();
        return;
    }
    // Camera types 1, 2 and 5 are what a reading delivers; other files are dropped.
    for (const QVariant &entry : entries) {
        switch (hashInt(entry.toHash(), QStringLiteral("type"))) {
        case 1:
            type1Records.append(entry);
            break;
        case 2:
            type2Records.append(entry);
            break;
        case 5:
            type5Records.append(entry);
            break;
        default:
            break;
        }
    }
    if (moreFilePages(page, totalPages))
        requestPage(page + 1);
    else
        finishReading();
}

void RecordReaderIpc::finishReading()
{
    if (!deliver(0, RecordVideoType::All, type1Records + type2Records + type5Records))
        return;
    if (!type2Records.isEmpty() && !deliver(0, RecordVideoType::General, type2Records))
        return;
    if (!type5Records.isEmpty() && !deliver(0, RecordVideoType::Alarm, type5Records))
        return;
    deliverEnd(0);
}

} // namespace lydevice

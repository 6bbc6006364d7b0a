#pragma once

#include "reader/RecordReader.h"

#include <QVariantList>

namespace lydevice
{

// What the camera readers of both transports share. A camera lists its recordings as files, page
// by page: the reader asks for the page count, reads pages 1 to that count one after another and
// sorts the files by record type. After the last page it delivers all kept entries as type 0,
// then those of camera type 2 as type 1 and those of camera type 5 as type 2 (when there are any),
// then the end. A camera opens no playback session: the code is 0, and nothing is closed.
//
// A derived class sends the two requests (the page count from start()) and hands what it read from
// the replies to onPageCount and onPage.
class RecordReaderIpc : public RecordReader
{
public:
    using RecordReader::RecordReader;

protected:
    // Page numbers count from 1.
    virtual void requestPage(int page) = 0;

    // good: the transport answered (over HTTP with status 200).
    void onPageCount(bool good, int pageCount);
    void onPage(int page, bool good, const QVariantList &entries);

    // The page count reported by the camera.
    int totalPages = 0;
    // Kept entries by camera record type, in arrival order.
    QVariantList type1Records;
    QVariantList type2Records;
    QVariantList type5Records;

private:
    void finishReading();
    void fail();
};

} // namespace lydevice

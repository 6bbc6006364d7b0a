// One line of the P2P link as the SDK reads it. A reply frame names an id of ours, and whatever
// its reply object holds goes back out in a frame of one line.

#include "P2pFrame.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using lyp2psdk::ReplyFrame;
    const ReplyFrame frame = lyp2psdk::decodeReplyFrame(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (frame.kind != ReplyFrame::Kind::Reply) {
        Q_ASSERT(frame.reply.isEmpty());
        return 0;
    }
    Q_ASSERT(frame.id >= 1 && frame.id <= lyp2psdk::MaxFrameId);
    const QByteArray line = lyp2psdk::encodeRequestFrame(frame.id, QLatin1String("nvr"), 27, frame.reply);
    Q_ASSERT(line.endsWith('\n') && line.count('\n') == 1);
    Q_ASSERT(QJsonDocument::fromJson(line).object().value(QLatin1String("id")).toDouble() == double(frame.id));
    return 0;
}

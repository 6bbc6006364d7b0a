#include "ReadPictureCommand.h"

#include "Console.h"
#include "DeviceEndpoint.h"
#include "EntryFormat.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QPointer>

void ReadPictureCommand::onSearched()
{
    if (options.index >= pictureTotal) {
        fail(pictureTotal == 0
                ? QStringLiteral("picture %1 does not exist: the search found no pictures").arg(options.index)
                : QStringLiteral("picture %1 does not exist: the search found %2 pictures, 0 to %3")
                      .arg(options.index)
                      .arg(pictureTotal)
                      .arg(pictureTotal - 1));
        return;
    }
    setWaitingFor(QStringLiteral("read_picture"));
    QPointer<ReadPictureCommand> self(this);
    lydevice::read_picture(endpoint.target(), options.index, [self](quint64 size, const QImage &image) {
        if (self && !self->isFinished())
            self->onPicture(size, image);
    });
}

void ReadPictureCommand::onPicture(quint64 size, const QImage &image)
{
    if (image.isNull() && size == 0) {
        failCall(
            QStringLiteral("read_picture failed for picture %1 on %2").arg(options.index).arg(endpoint.description()),
            QStringLiteral("the device answered, but with an error or a reply that could not be read"));
        return;
    }
    if (image.isNull()) {
        fail(QStringLiteral("read_picture got %1 bytes for picture %2 from %3, which do not decode as a picture")
                 .arg(size)
                 .arg(options.index)
                 .arg(endpoint.description()));
        return;
    }
    // The format follows the file name's extension; a name without a known one is written as PNG.
    const QByteArray suffix = QFileInfo(options.output).suffix().toLower().toLatin1();
    QImageWriter writer(
        options.output, QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArrayLiteral("png"));
    if (!writer.write(image)) {
        fail(QStringLiteral("cannot write %1: %2").arg(options.output, writer.errorString()));
        return;
    }
    if (options.json) {
        writeJson(
            QJsonObject {
                { QStringLiteral("command"), options.commandName },
                { QStringLiteral("device"), deviceJson() },
                { QStringLiteral("request"), requestJson() },
                { QStringLiteral("pictures"), pictureTotal },
                { QStringLiteral("index"), options.index },
                { QStringLiteral("bytes"), static_cast<qint64>(qMin<quint64>(size, 1ULL << 52)) },
                { QStringLiteral("width"), image.width() },
                { QStringLiteral("height"), image.height() },
                { QStringLiteral("output"), options.output },
                { QStringLiteral("elapsedMs"), elapsedMs() },
            },
            false);
    } else {
        console.out() << "read-picture on " << endpoint.description() << ": " << requestText() << "\n\n"
                      << "picture " << options.index << " of " << pictureTotal << ": " << image.width() << "x"
                      << image.height() << ", " << size << " bytes from the device, written to " << options.output
                      << "; elapsed " << entryformat::elapsedText(elapsedMs()) << '\n';
    }
    succeed();
}

#include "ReadPicturePageCommand.h"

#include "DeviceEndpoint.h"

void ReadPicturePageCommand::onSearched()
{
    if (options.page >= pageCount()) {
        fail(pictureTotal == 0
                ? QStringLiteral("page %1 does not exist: the search found no pictures").arg(options.page)
                : QStringLiteral("page %1 does not exist: the search found %2 pictures, on pages 0 to %3")
                      .arg(options.page)
                      .arg(pictureTotal)
                      .arg(pageCount() - 1));
        return;
    }
    readPage(options.page);
}

void ReadPicturePageCommand::onPage(int page, const QList<QVariant> &entries)
{
    // Every page below pageCount() holds pictures; an empty answer is the library's failure form.
    if (entries.isEmpty()) {
        failCall(QStringLiteral("read_picture_page failed for page %1 on %2").arg(page).arg(endpoint.description()),
            QStringLiteral("the device answered, but with an error or a reply that could not be read"));
        return;
    }
    writePage(page, entries);
    succeed();
}

#pragma once

#include "Command.h"

#include <QList>
#include <QVariant>

// search-picture: one search_picture call; prints how many pictures were found and the first
// page of them (which the library keeps from the search, so reading it costs no request).
//
// The library keeps one picture search per device, in memory; read-picture-page and read-picture
// build on this command and run the search first.
class SearchPictureCommand : public Command
{
    Q_OBJECT

public:
    using Command::Command;
    void start() override;

private:
    void onSearchAnswer(int total);

protected:
    // After a successful search of `pictureTotal` pictures.
    virtual void onSearched();
    // Pictures per page of the search: 30 on a camera, 100 on a recorder.
    int pageSize() const;
    int pageCount() const;
    void readPage(int page);
    virtual void onPage(int page, const QList<QVariant> &entries);
    void writePage(int page, const QList<QVariant> &entries);

    int pictureTotal = 0;
};

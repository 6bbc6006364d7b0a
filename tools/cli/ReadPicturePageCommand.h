#pragma once

#include "SearchPictureCommand.h"

// read-picture-page: the picture search, then read_picture_page for --page.
class ReadPicturePageCommand : public SearchPictureCommand
{
    Q_OBJECT

public:
    using SearchPictureCommand::SearchPictureCommand;

protected:
    void onSearched() override;
    void onPage(int page, const QList<QVariant> &entries) override;
};

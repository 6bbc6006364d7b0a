#pragma once

#include "SearchPictureCommand.h"

#include <QImage>

// read-picture: the picture search, then read_picture for --index; the decoded picture is
// written to --output.
class ReadPictureCommand : public SearchPictureCommand
{
    Q_OBJECT

public:
    using SearchPictureCommand::SearchPictureCommand;

protected:
    void onSearched() override;

private:
    void onPicture(quint64 size, const QImage &image);
};

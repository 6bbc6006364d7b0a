#pragma once

#include "operation/PicturePageRead.h"
#include "protocol/NvrProtocolIp.h"

namespace lydevice
{

// read_picture_page on a recorder over HTTP: one page of 100 of the recorder's picture search.
class NvrReadPicturePageIp final : public PicturePageRead<NvrProtocolIp>
{
public:
    using PicturePageRead::PicturePageRead;
};

} // namespace lydevice

#pragma once

#include "operation/PicturePageRead.h"
#include "protocol/IpcProtocolIp.h"

namespace lydevice
{

// read_picture_page on a camera over HTTP: the "sdexplorer" list from picture page * 30 on, within
// the session of the search.
class IpcReadPicturePageIp final : public PicturePageRead<IpcProtocolIp>
{
public:
    using PicturePageRead::PicturePageRead;
};

} // namespace lydevice

#pragma once

#include "operation/PictureRead.h"
#include "protocol/IpcProtocolIp.h"

namespace lydevice
{

// read_picture on a camera over HTTP: the picture comes as a file download ("/dataloader.cgi").
class IpcReadPictureIp final : public PictureRead<IpcProtocolIp>
{
public:
    using PictureRead::PictureRead;
};

} // namespace lydevice

#pragma once

#include "operation/PictureRead.h"
#include "protocol/NvrProtocolIp.h"

namespace lydevice
{

// read_picture on a recorder over HTTP: the picture comes base64-encoded in a key=value reply,
// asked for by its channel and pts.
class NvrReadPictureIp final : public PictureRead<NvrProtocolIp>
{
public:
    using PictureRead::PictureRead;
};

} // namespace lydevice

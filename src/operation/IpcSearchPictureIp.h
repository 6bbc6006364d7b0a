#pragma once

#include "operation/PictureSearch.h"
#include "protocol/IpcProtocolIp.h"

namespace lydevice
{

// search_picture on a camera over HTTP, through its "sdexplorer" picture list: each row names the
// search session ("<id>&<uuid>"); the result holds "sum".
class IpcSearchPictureIp final : public PictureSearch<IpcProtocolIp>
{
public:
    using PictureSearch::PictureSearch;
};

} // namespace lydevice

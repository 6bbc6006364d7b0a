#pragma once

#include "operation/PictureSearch.h"
#include "protocol/NvrProtocolIp.h"

namespace lydevice
{

// search_picture on a recorder over HTTP: the recorder's search handle is the session; the result
// holds "sid" and "sum".
class NvrSearchPictureIp final : public PictureSearch<NvrProtocolIp>
{
public:
    using PictureSearch::PictureSearch;
};

} // namespace lydevice

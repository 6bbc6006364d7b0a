#pragma once

#include <QtGlobal>

namespace lydevice
{

// What an operation or a device session serves.
enum class RecordKind : qint32 {
    Video = 0,
    Picture = 1,
};

} // namespace lydevice

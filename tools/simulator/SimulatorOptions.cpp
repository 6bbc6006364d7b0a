#include "SimulatorOptions.h"

namespace lydevice::sim
{

namespace
{
    struct RecordTypeInfo {
        const char *name;
        int recorderCode;
        int eventCode;
        int subTypeBits;
        int cameraDigit;
        int cameraBit;
    };

    // Indexed by RecordType; see the table in SimulatorOptions.h. The alarm kinds share event 128 and
    // report 128 plus their sub type, so that a caller can tell them apart in its results.
    const RecordTypeInfo recordTypes[kRecordTypeCount] = {
        { "continuous", 1, 0, 0, 1, 1 },
        { "anr", 16, 0, 0, 0, 4 },
        { "motion", 2, 2, 1, 2, 2 },
        { "smart", 64, 64, 511, 5, 32 },
        { "alarm-input", 144, 128, 16, 6, 128 },
        { "video-loss", 130, 128, 2, 7, 256 },
        { "tamper", 129, 128, 1, 4, 64 },
    };

    struct PictureTypeInfo {
        const char *name;
        int recorderBit;
        int cameraSubtype;
    };

    const PictureTypeInfo pictureTypes[kPictureTypeCount] = {
        { "timed", 32, 0 },
        { "alarm", 512, 1 },
        { "manual", 16, 2 },
        { "linked", 8, 3 },
    };

    const RecordTypeInfo &info(RecordType type)
    {
        const int index = static_cast<int>(type);
        return recordTypes[(index >= 0 && index < kRecordTypeCount) ? index : 0];
    }

    const PictureTypeInfo &info(PictureType type)
    {
        const int index = static_cast<int>(type);
        return pictureTypes[(index >= 0 && index < kPictureTypeCount) ? index : 0];
    }
} // namespace

QString recordTypeName(RecordType type)
{
    return QLatin1String(info(type).name);
}

bool recordTypeFromName(const QString &name, RecordType *type)
{
    for (int i = 0; i < kRecordTypeCount; ++i) {
        if (name == QLatin1String(recordTypes[i].name)) {
            *type = static_cast<RecordType>(i);
            return true;
        }
    }
    return false;
}

QString pictureTypeName(PictureType type)
{
    return QLatin1String(info(type).name);
}

int recorderTypeCode(RecordType type)
{
    return info(type).recorderCode;
}

int recorderEventCode(RecordType type)
{
    return info(type).eventCode;
}

int recorderSubTypeBits(RecordType type)
{
    return info(type).subTypeBits;
}

int cameraTypeDigit(RecordType type)
{
    return info(type).cameraDigit;
}

int cameraMaskBit(RecordType type)
{
    return info(type).cameraBit;
}

int recorderPictureBit(PictureType type)
{
    return info(type).recorderBit;
}

int cameraPictureSubtype(PictureType type)
{
    return info(type).cameraSubtype;
}

} // namespace lydevice::sim

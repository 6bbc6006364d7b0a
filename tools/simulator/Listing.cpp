#include "Listing.h"

#include <limits>

namespace lydevice::sim
{

void Listing::append(int channel, int type, int first, int count)
{
    if (count <= 0 || first < 0)
        return;
    // The catalogue's limits keep a listing far below this; the cap only guards the arithmetic.
    count = qMin(count, std::numeric_limits<int>::max() - total);
    if (count <= 0)
        return;
    runs.append(Range { channel, type, first, count });
    total += count;
}

} // namespace lydevice::sim

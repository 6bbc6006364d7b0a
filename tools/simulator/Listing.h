#pragma once

#include <QVector>

namespace lydevice::sim
{

// The answer to one search, kept compactly: runs of consecutive items of the catalogue's
// sequences (one sequence per channel and type), in the order the device serves them. A listing
// of any size costs one entry per run, and any page of it is found without walking the items.
class Listing
{
public:
    struct Range {
        int channel = 0;
        int type = 0;
        int first = 0; // index of the first item in its sequence
        int count = 0;
    };

    // Adds the items [first, first + count) of the sequence (channel, type); empty runs are skipped.
    void append(int channel, int type, int first, int count);
    int size() const
    {
        return total;
    }
    const QVector<Range> &ranges() const
    {
        return runs;
    }

    // Calls visit(channel, type, index) for the items at positions [offset, offset + count) of the
    // listing, in order; positions outside the listing are skipped.
    template <typename Visit> void visit(int offset, int count, Visit &&visit) const
    {
        if (offset < 0) {
            count += offset;
            offset = 0;
        }
        if (count <= 0 || offset >= total)
            return;
        int skip = offset;
        int left = qMin(count, total - offset);
        for (const Range &range : runs) {
            if (left <= 0)
                break;
            if (skip >= range.count) {
                skip -= range.count;
                continue;
            }
            const int take = qMin(range.count - skip, left);
            for (int i = 0; i < take; ++i)
                visit(range.channel, range.type, range.first + skip + i);
            left -= take;
            skip = 0;
        }
    }

private:
    QVector<Range> runs;
    int total = 0;
};

} // namespace lydevice::sim

#pragma once

#include "SearchRuns.h"

// Many recorders searched at once from one host: `devices` targets (each its own connection to the
// same simulated recorder over HTTP) are all asked search_video at once, then all read with
// search_video_begin to their end. What it costs per device should not grow with their number.
struct ManyDevicesRun {
    int devices = 0;
    qint64 searchNs = 0; // until every search_video has answered
    qint64 readingNs = 0; // until every reading has made its last delivery
    int failures = 0; // searches and readings that failed or found other than expected
};

ManyDevicesRun runManyDevices(const Search &search, int devices);

#pragma once

// Bounds on what one device reply may make us build and how long one search may page. Devices
// report their own counts; these keep a broken or hostile device from making a search huge or
// endless.

#include <QtGlobal>

namespace lydevice
{

// Records, tags, files or pictures taken from one reply at most. No device page holds anywhere
// near this many; a reply that claims more is cut.
constexpr int maxEntriesPerReply = 10000;
// Page requests of one search stage at most; a device that never reports its last page is
// treated as if that page had been the last one (or fails the stage, where the stage cannot end
// otherwise).
constexpr int maxSearchPages = 100000;

// Bytes of one reply at most, as received, by what it carries: a list of up to
// maxEntriesPerReply records or tags (a record takes about a hundred bytes), or a page of
// pictures or record files. A longer reply is not parsed; the step fails. Pictures themselves are
// bounded by the transport.
constexpr int maxListReplyBytes = 4 * 1024 * 1024;
constexpr int maxPageReplyBytes = 1024 * 1024;

// How many entries to build for a reply that reports `count`: cut to 0 to maxEntriesPerReply, with
// a warning when it lies outside.
int entryCount(qint64 count);

} // namespace lydevice

#pragma once

// Table rows that drive the library through its exports against the scripted fake device and
// compare what went on the wire and what the callers were told, as text.
//
// A row names a target ("nvr ip", "ipc p2p", "dev2 ip" for a device kind without operations,
// "nvr tr2" for an unknown transport), a device script (FakeDevice.h), the calls, the requests
// expected (FakeDevice::routes) and the answers expected, and optional checks of request members
// (FakeDevice::check).
//
// Calls, separated by ";":
//   video [type=N] [stream=N] [ch=a,b]   search_video; default type 0, stream 1, channels 3,0
//   pictures [type=N] [ch=a,b]           search_picture; default type 0, channels 0,3
//   page N / read N                      read_picture_page / read_picture
//   begin [type=N] [stream=N] [ch=a,b] [endAt=N]
//                                        search_video_begin; endAt: the caller ends the reading
//                                        from inside its N-th delivery
//   end [N]                              search_video_end of the last reader begun, or of the N-th
//   cancel / cleanup                     cancel_all_record_searching / cleanup
//   idle                                 waits until no scripted answer is left to deliver
//   release                              releases the held answers and waits as idle does
// The row waits as idle does after its last call. Every request must go to the row's device.
//
// Answers, separated by blanks, each with "!" in front when it came inside the call:
//   v<code>:<entries>        search_video
//   s<count>                 search_picture
//   p<entries>               read_picture_page
//   r<size>:<image>          read_picture; the size reads png, jpeg, junk or wide when it is that of
//                            the scripted bytes; the image is pic (the sample, exactly), WxH
//                            (decoded, not exactly) or null
//   b<code>:<type>:<entries> one delivery of search_video_begin; id0 when it returned 0
// Entries are summarised by the numbers the fake device gave them ("0-2,5" for items 0, 1, 2 and
// 5, in that order); "?" stands for an entry that is not what the device sent, "?*N" for N of them.

#include <lydevice/lydevice.h>

#include <QStringList>
#include <QVariantList>

namespace lydevice::test
{

// A target with a fresh handle, so that no device state is shared between rows.
TargetDesc newTarget(const QString &kind);
// Ends whatever earlier tests left running and forgets the device's script and requests.
void freshStart();

QDateTime spanStart();
QDateTime spanEnd();
QString summary(const QVariantList &entries);
// Checks written with the searched span and channels: $QS and $QE the span as recorder HTTP
// queries write it, $PS and $PE as P2P text, $CS and $CE as camera queries, $OS and $OE as camera
// P2P time objects, $MASK the mask of channels 0 and 3.
QStringList wire(std::initializer_list<const char *> checks);

void scenarioColumns();
void scenarioRow(const char *name,
    const char *target,
    const char *script,
    const char *calls,
    const char *routes,
    const char *answers,
    const QStringList &checks = {});
void verifyScenario();

} // namespace lydevice::test

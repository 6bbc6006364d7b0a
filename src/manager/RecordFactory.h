#pragma once

// The manager's factories: the operation or reader class that serves a device kind, transport
// and record kind. Each gives none for a combination without a class, and the operation
// factories give none while another operation of the device is alive.

#include "manager/RecordKind.h"

#include <lydevice/lydevice.h>

#include <QSharedPointer>

#include <memory>

namespace lydevice
{

class RecordManagerPrivate;
class RecordOperation;
class RecordReader;

QSharedPointer<RecordOperation> makeSearchOperation(RecordManagerPrivate *d, const TargetDesc &target, RecordKind kind);
QSharedPointer<RecordOperation> makeReadPicturePageOperation(
    RecordManagerPrivate *d, const TargetDesc &target, RecordKind kind);
QSharedPointer<RecordOperation> makeReadPictureOperation(
    RecordManagerPrivate *d, const TargetDesc &target, RecordKind kind);
std::unique_ptr<RecordReader> makeReader(const TargetDesc &target);

} // namespace lydevice

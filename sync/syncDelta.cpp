//
// Copyright 2026 vela contributors
//
#include "sync/syncDelta.h"

#include "sync/valueHandler.h"

namespace vela {

// Every record is built under the lock, so the list order is the order in
// which recorders took it, and an exception while building (packing, say)
// leaves the list untouched.
template <class Fill>
void SyncDelta::_Record(SyncOp::SyncOpType opType, Fill&& fill)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = opType;
    fill(op);
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::CreateNode(std::string nodePath, int32_t nodeType)
{
    _Record(SyncOp::CreateNode, [&](SyncOp& op) {
        op.nodePath = std::move(nodePath);
        op.nodeType = nodeType;
    });
}

void SyncDelta::SetField(std::string nodePath, std::string fieldName,
                         const pxr::VtValue& value)
{
    _Record(SyncOp::SetField, [&](SyncOp& op) {
        op.nodePath = std::move(nodePath);
        op.fieldName = std::move(fieldName);
        op.fieldValue = ValueHandler::GetInstance().PackVtValue(value);
    });
}

void SyncDelta::MoveNode(std::string oldNodePath, std::string newNodePath)
{
    _Record(SyncOp::MoveNode, [&](SyncOp& op) {
        op.nodePath = std::move(newNodePath);
        op.oldNodePath = std::move(oldNodePath);
    });
}

void SyncDelta::EraseNode(std::string nodePath)
{
    _Record(SyncOp::EraseNode, [&](SyncOp& op) {
        op.nodePath = std::move(nodePath);
    });
}

void SyncDelta::EraseField(std::string nodePath, std::string fieldName)
{
    _Record(SyncOp::EraseField, [&](SyncOp& op) {
        op.nodePath = std::move(nodePath);
        op.fieldName = std::move(fieldName);
    });
}

void SyncDelta::SwapPendingOps(SyncOpList& ops)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _pendingOps.swap(ops);
}

} // namespace vela

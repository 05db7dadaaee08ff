//
// Copyright 2026 vela contributors
//
#include "sync/syncDelta.h"

#include "sync/valueHandler.h"

namespace vela {

// Every record is built under the lock, so the list order is the order in
// which recorders took it, and an exception while building leaves the
// list untouched.

void SyncDelta::CreateNode(std::string nodePath, int32_t nodeType)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::CreateNode;
    op.nodePath = std::move(nodePath);
    op.nodeType = nodeType;
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::SetField(std::string nodePath, std::string fieldName,
                         const pxr::VtValue& value)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::SetField;
    op.nodePath = std::move(nodePath);
    op.fieldName = std::move(fieldName);
    op.fieldValue = ValueHandler::GetInstance().PackVtValue(value);
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::MoveNode(std::string oldNodePath, std::string newNodePath)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::MoveNode;
    op.nodePath = std::move(newNodePath);
    op.oldNodePath = std::move(oldNodePath);
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::EraseNode(std::string nodePath)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::EraseNode;
    op.nodePath = std::move(nodePath);
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::EraseField(std::string nodePath, std::string fieldName)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::EraseField;
    op.nodePath = std::move(nodePath);
    op.fieldName = std::move(fieldName);
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::SwapPendingOps(SyncOpList& ops)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _pendingOps.swap(ops);
}

} // namespace vela

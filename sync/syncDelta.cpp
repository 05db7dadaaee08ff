//
// Copyright 2026 vela contributors
//
#include "sync/syncDelta.h"

#include "sync/valueHandler.h"

namespace vela {

// Every record is built under the lock, so the list order is the order in
// which recorders took it, and an exception while building leaves the
// list untouched.

void SyncDelta::CreateNode(const std::string& nodePath, int32_t nodeType)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::CreateNode;
    op.nodePath = nodePath;
    op.nodeType = nodeType;
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::SetField(const std::string& nodePath,
                         const std::string& fieldName,
                         const pxr::VtValue& value)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::SetField;
    op.nodePath = nodePath;
    op.fieldName = fieldName;
    op.fieldValue = ValueHandler::GetInstance().PackVtValue(value);
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::MoveNode(const std::string& oldNodePath,
                         const std::string& newNodePath)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::MoveNode;
    op.nodePath = newNodePath;
    op.oldNodePath = oldNodePath;
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::EraseNode(const std::string& nodePath)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::EraseNode;
    op.nodePath = nodePath;
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::EraseField(const std::string& nodePath,
                           const std::string& fieldName)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SyncOp op;
    op.opType = SyncOp::EraseField;
    op.nodePath = nodePath;
    op.fieldName = fieldName;
    _pendingOps.push_back(std::move(op));
}

void SyncDelta::SwapPendingOps(SyncOpList& ops)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _pendingOps.swap(ops);
}

} // namespace vela

// Shared helpers of the sync layer tests: operation lists in a readable,
// comparable form, and the decoded value of a set-field operation.
#ifndef VELA_TESTS_SYNC_TEST_HELPERS_H
#define VELA_TESTS_SYNC_TEST_HELPERS_H

#include "sync/syncData.h"
#include "sync/syncOp.h"
#include "sync/valueHandler.h"

#include <pxr/usd/sdf/abstractData.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/notice.h>
#include <pxr/usd/sdf/path.h>
#include <pxr/base/tf/notice.h>
#include <pxr/base/tf/weakBase.h>
#include <pxr/base/tf/stringUtils.h>
#include <pxr/base/vt/value.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vela_test {

/// An operation as a peer could send it, well formed or not: \p second is
/// the old path of a MoveNode and the field name of any other; \p value,
/// when given, is the packed bytes (type code, array flag, body).
inline vela::SyncOp RawOp(int32_t type, const char* path,
                          const char* second = "", int32_t nodeType = 0,
                          std::vector<uint8_t> value = {})
{
    vela::SyncOp op;
    op.opType = static_cast<vela::SyncOp::SyncOpType>(type);
    op.nodePath = path;
    if (type == vela::SyncOp::MoveNode) {
        op.oldNodePath = second;
    } else {
        op.fieldName = second;
    }
    op.nodeType = nodeType;
    if (!value.empty()) {
        const uint8_t code = value[0];
        const bool array = value.size() > 1 && value[1];
        op.fieldValue = vela::PackedData(code, array, std::move(value));
    }
    return op;
}

/// "CreateNode / 7", "SetField /A default", "MoveNode /A -> /B",
/// "EraseNode /A", "EraseField /A default".
inline std::string Describe(const vela::SyncOp& op)
{
    switch (op.opType) {
    case vela::SyncOp::CreateNode:
        return "CreateNode " + op.nodePath + " " + std::to_string(op.nodeType);
    case vela::SyncOp::SetField:
        return "SetField " + op.nodePath + " " + op.fieldName;
    case vela::SyncOp::MoveNode:
        return "MoveNode " + op.oldNodePath + " -> " + op.nodePath;
    case vela::SyncOp::EraseNode:
        return "EraseNode " + op.nodePath;
    case vela::SyncOp::EraseField:
        return "EraseField " + op.nodePath + " " + op.fieldName;
    }
    return "Unknown " + std::to_string(static_cast<int>(op.opType));
}

inline std::vector<std::string> Describe(const vela::SyncOpList& ops)
{
    std::vector<std::string> lines;
    for (const auto& op : ops) {
        lines.push_back(Describe(op));
    }
    return lines;
}

inline vela::SyncOpList Drain(vela::SyncData& data)
{
    vela::SyncOpList ops;
    data.GetDelta().SwapPendingOps(ops);
    return ops;
}

inline pxr::VtValue Unpack(const vela::SyncOp& op)
{
    return vela::ValueHandler::GetInstance().UnpackVtValue(op.fieldValue);
}

/// Every spec of a data object, with its type and its fields in stored
/// order, keyed by path text.
using SpecDump =
    std::map<std::string,
             std::pair<int, std::vector<std::pair<std::string, pxr::VtValue>>>>;

inline SpecDump Dump(const pxr::SdfAbstractData& data)
{
    struct Collector : pxr::SdfAbstractDataSpecVisitor
    {
        std::vector<pxr::SdfPath> paths;
        bool VisitSpec(const pxr::SdfAbstractData&,
                       const pxr::SdfPath& path) override
        {
            paths.push_back(path);
            return true;
        }
        void Done(const pxr::SdfAbstractData&) override {}
    } collector;
    data.VisitSpecs(&collector);

    SpecDump dump;
    for (const auto& path : collector.paths) {
        auto& entry = dump[path.GetString()];
        entry.first = static_cast<int>(data.GetSpecType(path));
        for (const auto& field : data.List(path)) {
            entry.second.emplace_back(field.GetString(), data.Get(path, field));
        }
    }
    return dump;
}

/// What LayersDidChange notices said about one layer.
class ChangeWatcher : public pxr::TfWeakBase
{
public:
    explicit ChangeWatcher(const pxr::SdfLayerHandle& layer)
        : _layer(layer)
    {
        _key = pxr::TfNotice::Register(pxr::TfCreateWeakPtr(this),
                                       &ChangeWatcher::_OnChange);
    }
    ~ChangeWatcher() { pxr::TfNotice::Revoke(_key); }

    /// The changed paths, each once.
    std::set<pxr::SdfPath> PathSet() const
    {
        return std::set<pxr::SdfPath>(paths.begin(), paths.end());
    }

    int notices = 0;
    int replaced = 0; // entries saying the content was replaced
    std::vector<pxr::SdfPath> paths;

private:
    void _OnChange(const pxr::SdfNotice::LayersDidChange& notice)
    {
        for (const auto& [layer, changes] : notice.GetChangeListVec()) {
            if (layer != _layer) {
                continue;
            }
            ++notices;
            for (const auto& [path, entry] : changes.GetEntryList()) {
                paths.push_back(path);
                replaced += entry.flags.didReplaceContent ? 1 : 0;
            }
        }
    }

    pxr::SdfLayerHandle _layer;
    pxr::TfNotice::Key _key;
};

} // namespace vela_test

#endif // VELA_TESTS_SYNC_TEST_HELPERS_H

//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SPEC_CHILDREN_H
#define VELA_SYNC_SPEC_CHILDREN_H

// The children fields of a spec and the paths of the children they name, as
// OpenUSD lays specs out: the consistency check of a refresh, the
// incremental refresh's walk of a removed subtree and the snapshot encoder
// read them the same way. Internal to libvelaUsdSync.

#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/schema.h>
#include <pxr/base/tf/token.h>
#include <pxr/base/vt/value.h>

#include <algorithm>
#include <array>

namespace vela {

/// The children fields that name their children by token.
inline const std::array<pxr::TfToken, 4>& SpecTokenChildrenFields()
{
    static const std::array<pxr::TfToken, 4> fields = {
        pxr::SdfChildrenKeys->PrimChildren,
        pxr::SdfChildrenKeys->PropertyChildren,
        pxr::SdfChildrenKeys->VariantSetChildren,
        pxr::SdfChildrenKeys->VariantChildren};
    return fields;
}

/// The children fields that name their children by path.
inline const std::array<pxr::TfToken, 3>& SpecPathChildrenFields()
{
    static const std::array<pxr::TfToken, 3> fields = {
        pxr::SdfChildrenKeys->RelationshipTargetChildren,
        pxr::SdfChildrenKeys->ConnectionChildren,
        pxr::SdfChildrenKeys->MapperChildren};
    return fields;
}

template <class Fields>
bool SpecFieldsContain(const Fields& fields, const pxr::TfToken& name)
{
    return std::find(fields.begin(), fields.end(), name) != fields.end();
}

inline bool IsSpecChildrenField(const pxr::TfToken& name)
{
    return SpecFieldsContain(SpecTokenChildrenFields(), name) ||
           SpecFieldsContain(SpecPathChildrenFields(), name);
}

/// The path of the child that the token children field \p field of the
/// spec at \p path names \p name; the empty path when no spec can be there.
inline pxr::SdfPath SpecTokenChildPath(const pxr::SdfPath& path,
                                       const pxr::TfToken& field,
                                       const pxr::TfToken& name)
{
    if (field == pxr::SdfChildrenKeys->PrimChildren) {
        return path.AppendChild(name);
    }
    if (field == pxr::SdfChildrenKeys->PropertyChildren) {
        return path.AppendProperty(name);
    }
    if (field == pxr::SdfChildrenKeys->VariantSetChildren) {
        return path.AppendVariantSelection(name, "");
    }
    if (field == pxr::SdfChildrenKeys->VariantChildren &&
        path.IsPrimVariantSelectionPath()) {
        return path.GetParentPath().AppendVariantSelection(
            path.GetVariantSelection().first, name);
    }
    return pxr::SdfPath();
}

/// As SpecTokenChildPath, for a path children field.
inline pxr::SdfPath SpecPathChildPath(const pxr::SdfPath& path,
                                      const pxr::TfToken& field,
                                      const pxr::SdfPath& target)
{
    return field == pxr::SdfChildrenKeys->MapperChildren
               ? path.AppendMapper(target)
               : path.AppendTarget(target);
}

/// Calls \p fn(childPath) for every child that the children field \p field
/// (holding \p value) of the spec at \p path names, in its order, whether
/// or not a spec is there. A value of the wrong type names nothing.
template <class Fn>
void ForEachSpecChildPath(const pxr::SdfPath& path, const pxr::TfToken& field,
                          const pxr::VtValue& value, Fn&& fn)
{
    if (value.IsHolding<pxr::TfTokenVector>()) {
        if (!SpecFieldsContain(SpecTokenChildrenFields(), field)) {
            return;
        }
        for (const pxr::TfToken& name :
             value.UncheckedGet<pxr::TfTokenVector>()) {
            const pxr::SdfPath child = SpecTokenChildPath(path, field, name);
            if (!child.IsEmpty()) {
                fn(child);
            }
        }
    } else if (value.IsHolding<pxr::SdfPathVector>()) {
        if (!SpecFieldsContain(SpecPathChildrenFields(), field)) {
            return;
        }
        for (const pxr::SdfPath& target :
             value.UncheckedGet<pxr::SdfPathVector>()) {
            const pxr::SdfPath child = SpecPathChildPath(path, field, target);
            if (!child.IsEmpty()) {
                fn(child);
            }
        }
    }
}

} // namespace vela

#endif // VELA_SYNC_SPEC_CHILDREN_H

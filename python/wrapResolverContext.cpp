//
// Copyright 2026 vela contributors
//
// Python wrapping of vela::ResolverContext. The class converts implicitly
// into Ar.ResolverContext, so it is accepted wherever OpenUSD takes one.

#include "resolver/resolverContext.h"

#include <pxr/usd/ar/pyResolverContext.h>
#include <pxr/base/tf/pyUtils.h>

#include <pxr/external/boost/python/args.hpp>
#include <pxr/external/boost/python/class.hpp>
#include <pxr/external/boost/python/init.hpp>
#include <pxr/external/boost/python/make_function.hpp>
#include <pxr/external/boost/python/return_value_policy.hpp>
#include <pxr/external/boost/python/return_by_value.hpp>

#include <string>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

namespace {

bool _Eq(const ResolverContext& a, const ResolverContext& b)
{
    return a == b;
}
bool _Ne(const ResolverContext& a, const ResolverContext& b)
{
    return a != b;
}
bool _Lt(const ResolverContext& a, const ResolverContext& b)
{
    return a < b;
}
size_t _Hash(const ResolverContext& c)
{
    return hash_value(c);
}

std::string _Repr(const ResolverContext& c)
{
    return "vela.usd.resolve.ResolverContext(" + TfPyRepr(c.GetBlobPrefix()) +
           ", " + TfPyRepr(c.GetLocalPath()) + ")";
}

} // namespace

void wrapResolverContext()
{
    using This = ResolverContext;
    class_<This>(
        "ResolverContext",
        "The resolver context of a stage whose assets live in a remote blob\n"
        "store, mirrored into a local directory.\n\n"
        "ResolverContext(blobPrefix, localPath): blobPrefix is the assets' "
        "key\n"
        "prefix in the blob store, localPath the local directory fetched\n"
        "assets are written to. Accepted wherever OpenUSD takes a resolver\n"
        "context (Ar.ResolverContext, Ar.ResolverContextBinder,\n"
        "Pcp.LayerStackIdentifier). Equality, order and hash use blobPrefix\n"
        "only.",
        init<std::string, std::string>((arg("blobPrefix"), arg("localPath"))))
        .add_property("blobPrefix",
                      make_function(&This::GetBlobPrefix,
                                    return_value_policy<return_by_value>()),
                      "The assets' key prefix in the blob store (read-only).")
        .add_property(
            "localPath",
            make_function(&This::GetLocalPath,
                          return_value_policy<return_by_value>()),
            "The local directory fetched assets are written to (read-only).")
        .def("GetAsString", &This::GetAsString,
             "'[blobPrefix=<blobPrefix>, localPath=<localPath>]'.")
        .def("__str__", &This::GetAsString)
        .def("__repr__", &_Repr)
        .def("__eq__", &_Eq)
        .def("__ne__", &_Ne)
        .def("__lt__", &_Lt)
        .def("__hash__", &_Hash);

    ArWrapResolverContextForPython<This>();
}

} // namespace vela

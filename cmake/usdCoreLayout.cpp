//
// Copyright 2026 vela contributors
//
// The usd-core flavour's configure check (cmake/VelaOpenUSD.cmake): OpenUSD's
// headers, compiled with the TBB headers the build uses, must lay out
// TfDiagnosticMgr as usd-core's library does, and code compiled with them
// must link against that library.
#include <pxr/pxr.h>
#include <pxr/base/tf/diagnosticMgr.h>
#include <pxr/base/tf/token.h>

#include <cstddef>

PXR_NAMESPACE_USING_DIRECTIVE

// The size appears in the compiler's message as VelaDiagnosticMgrSize<N>.
template <std::size_t Size>
struct VelaDiagnosticMgrSize
{
    static_assert(Size == VELA_EXPECTED_DIAGNOSTIC_MGR_SIZE,
                  "TfDiagnosticMgr's layout differs from usd-core's library");
};
template struct VelaDiagnosticMgrSize<sizeof(TfDiagnosticMgr)>;

int main()
{
    return TfToken("vela").IsEmpty() ? 1 : 0;
}

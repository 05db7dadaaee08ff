// Set-up shared by the fuzz targets.
//
// OpenUSD finds vela's file format in the build tree. Error lines are
// still formatted (their arguments come from the input) but go nowhere;
// warnings and trace lines are not built at all, since a placeholder array
// warns once per element and a trace line stringifies every value, which
// would cost most of each run. VELA_FUZZ_LOG keeps the default logger at
// every level, for looking at one input. OpenUSD's own errors are caught by an error mark
// around each input instead of being printed; its fatal errors abort so
// that libFuzzer keeps the input.
#ifndef VELA_TESTS_FUZZ_FUZZ_SUPPORT_H
#define VELA_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <pxr/base/plug/registry.h>
#include <pxr/base/tf/diagnosticMgr.h>

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace vela_fuzz {

/// OpenUSD's fatal errors end the process through its own crash handler,
/// which libFuzzer never sees, so the input would be lost. This delegate
/// prints the error and aborts where libFuzzer catches it. Warnings and
/// status lines are dropped; errors are held by each input's error mark.
class FatalToAbort : public pxr::TfDiagnosticMgr::Delegate
{
public:
    void IssueError(const pxr::TfError&) override {}
    void IssueFatalError(const pxr::TfCallContext& context,
                         const std::string& msg) override
    {
        std::fprintf(stderr, "OpenUSD fatal error in %s: %s\n",
                     context.GetFunction(), msg.c_str());
        std::abort();
    }
    void IssueStatus(const pxr::TfStatus&) override {}
    void IssueWarning(const pxr::TfWarning&) override {}
};

inline void Initialize()
{
    static FatalToAbort fatalToAbort;
    pxr::TfDiagnosticMgr::GetInstance().AddDelegate(&fatalToAbort);
    pxr::PlugRegistry::GetInstance().RegisterPlugins(VELA_FUZZ_PLUGIN_DIR);
    if (std::getenv("VELA_FUZZ_LOG")) {
        spdlog::set_level(spdlog::level::trace);
        return;
    }
    auto logger = std::make_shared<spdlog::logger>(
        "fuzz", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::err);
    spdlog::set_default_logger(logger);
}

/// Stops the run with \p what when an invariant does not hold, so that
/// libFuzzer keeps the input that broke it.
inline void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "vela fuzz check failed: %s\n", what);
        std::abort();
    }
}

} // namespace vela_fuzz

#endif // VELA_TESTS_FUZZ_FUZZ_SUPPORT_H

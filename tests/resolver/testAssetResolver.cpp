// vela::AssetResolver through OpenUSD's door (ArGetResolver), in a process
// without a Python interpreter: missing paths fail cleanly, and opening
// waits for fetches. Resolution with a callback is tested from Python.
#include "resolver/assetResolver.h"
#include "resolver/resolverContext.h"
#include "tests/logCapture.h"
#include "tests/resolver/fetcherTestAccess.h"

#include <pxr/usd/ar/asset.h>
#include <pxr/usd/ar/resolver.h>
#include <pxr/usd/ar/resolverContextBinder.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <typeinfo>

using namespace pxr;
namespace fs = std::filesystem;
using spdlog::level::level_enum;

namespace {

class AssetResolverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _dir =
            fs::temp_directory_path() /
            ("velaResolver-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(_dir);
    }
    void TearDown() override { fs::remove_all(_dir); }

    std::string Write(const std::string& name, const std::string& content)
    {
        const fs::path path = _dir / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << content;
        return path.string();
    }

    std::string Dir() const { return _dir.string(); }

    fs::path _dir;
};

} // namespace

TEST_F(AssetResolverTest, IsThePrimaryResolver)
{
    EXPECT_EQ(typeid(ArGetUnderlyingResolver()), typeid(vela::AssetResolver));
}

TEST_F(AssetResolverTest, MissingPathWithoutInterpreterFailsTheFetch)
{
    ArResolverContextBinder binder(
        ArResolverContext(vela::ResolverContext("p", Dir())));
    vela_test::LogCapture log;
    EXPECT_TRUE(ArGetResolver().Resolve("nothere/a.usda").empty());
    EXPECT_EQ(log.Count(spdlog::level::err,
                        "AssetFetcher::FetchAsset: No Python interpreter, "
                        "cannot fetch: p/nothere/a.usda"),
              1u);
    EXPECT_EQ(log.Count(spdlog::level::warn,
                        "AssetResolver::_Resolve, failed to fetch asset, "
                        "assetFilePath: nothere/a.usda"),
              1u);
}

TEST_F(AssetResolverTest, OpeningAnEmptyUnknownFileFailsWithStatusThree)
{
    const std::string empty = Write("empty.usda", "");
    vela_test::LogCapture log;
    EXPECT_EQ(ArGetResolver().OpenAsset(ArResolvedPath(empty)), nullptr);
    EXPECT_EQ(log.Count(spdlog::level::err,
                        "AssetFetcher::WaitForFetchStatus: Asset not found: " +
                            empty),
              1u);
    EXPECT_EQ(log.Count(spdlog::level::err,
                        "Failed to fetch asset, resolvedPath: " + empty +
                            ", status: 3"),
              1u);
}

TEST_F(AssetResolverTest, OpeningAFileStillBeingFetchedWaitsForTheReport)
{
    const std::string path = Dir() + "/p/coming.usda";
    vela::AssetFetcherTestAccess::PlantPending(path, "p/coming.usda");
    std::thread writer([this, path] {
        Write("p/coming.usda", "#usda 1.0\n");
        vela::AssetFetcher::GetInstance()->ReportFetchResult(path);
    });
    std::shared_ptr<ArAsset> asset =
        ArGetResolver().OpenAsset(ArResolvedPath(path));
    writer.join();
    ASSERT_NE(asset, nullptr);
    EXPECT_EQ(asset->GetSize(), 10u);
}

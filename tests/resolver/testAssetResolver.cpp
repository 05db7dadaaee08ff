// vela::AssetResolver through OpenUSD's door (ArGetResolver), in a process
// without a Python interpreter: local paths resolve like the default
// resolver, missing ones fail cleanly, and opening waits for fetches.
#include "resolver/assetResolver.h"
#include "resolver/resolverContext.h"
#include "tests/logCapture.h"
#include "tests/resolver/fetcherTestAccess.h"

#include <pxr/ar/asset.h>
#include <pxr/ar/resolver.h>
#include <pxr/ar/resolverContextBinder.h>

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
        _dir = fs::temp_directory_path() /
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

TEST_F(AssetResolverTest, LocalPathsNeverReachTheFetcher)
{
    const std::string path = Write("local.usda", "#usda 1.0\n");
    vela_test::LogCapture log;
    EXPECT_EQ(ArGetResolver().Resolve(path).GetPathString(), path);
    {
        ArResolverContextBinder binder(ArResolverContext(vela::ResolverContext("p", Dir())));
        EXPECT_EQ(ArGetResolver().Resolve(path).GetPathString(), path);
        // Format arguments are cut off before resolution.
        EXPECT_EQ(ArGetResolver().Resolve(path + ":SDF_FORMAT_ARGS:a=b").GetPathString(),
                  path);
    }
    EXPECT_EQ(log.Lines().size(), 0u);
}

TEST_F(AssetResolverTest, MissingPathWithoutContextLogsTheInvalidContext)
{
    vela_test::LogCapture log;
    const std::string missing = Dir() + "/missing.usda";
    EXPECT_TRUE(ArGetResolver().Resolve(missing).empty());
    EXPECT_EQ(log.Count(spdlog::level::err,
                  "AssetResolver::_Resolve, invalid ResolverContext, assetFilePath: " + missing),
              1u);
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST_F(AssetResolverTest, MissingPathWithoutInterpreterFailsTheFetch)
{
    ArResolverContextBinder binder(ArResolverContext(vela::ResolverContext("p", Dir())));
    vela_test::LogCapture log;
    EXPECT_TRUE(ArGetResolver().Resolve("nothere/a.usda").empty());
    EXPECT_EQ(log.Count(spdlog::level::err,
                  "AssetFetcher::FetchAsset: No Python interpreter, cannot fetch: p/nothere/a.usda"),
              1u);
    EXPECT_EQ(log.Count(spdlog::level::warn,
                  "AssetResolver::_Resolve, failed to fetch asset, assetFilePath: nothere/a.usda"),
              1u);
}

TEST_F(AssetResolverTest, BlobPathsAboveTheStoreRootAreRefused)
{
    ArResolverContextBinder binder(ArResolverContext(vela::ResolverContext("p", Dir())));
    const std::string escapes[] = {
        "../../outside.usda",                       // relative, above the prefix
        Dir() + "/p/../../outside.usda",            // under the local root, then up
        Dir() + "/p/x/../../../../etc/passwd.usda",
    };
    for (const std::string& path : escapes) {
        vela_test::LogCapture log;
        EXPECT_TRUE(ArGetResolver().Resolve(path).empty()) << path;
        ASSERT_EQ(log.Lines().size(), 1u) << path;
        EXPECT_EQ(log.Lines()[0].level, spdlog::level::err);
        EXPECT_EQ(log.Lines()[0].text.rfind("AssetResolver::_Resolve, blob path leaves the blob store", 0), 0u)
            << log.Lines()[0].text;
    }
}

TEST_F(AssetResolverTest, OpeningAnEmptyUnknownFileFailsWithStatusThree)
{
    const std::string empty = Write("empty.usda", "");
    vela_test::LogCapture log;
    EXPECT_EQ(ArGetResolver().OpenAsset(ArResolvedPath(empty)), nullptr);
    EXPECT_EQ(log.Count(spdlog::level::err,
                  "AssetFetcher::WaitForFetchStatus: Asset not found: " + empty), 1u);
    EXPECT_EQ(log.Count(spdlog::level::err,
                  "Failed to fetch asset, resolvedPath: " + empty + ", status: 3"), 1u);
}

TEST_F(AssetResolverTest, OpeningAFileStillBeingFetchedWaitsForTheReport)
{
    const std::string path = Dir() + "/p/coming.usda";
    vela::AssetFetcherTestAccess::PlantPending(path, "p/coming.usda");
    std::thread writer([this, path] {
        Write("p/coming.usda", "#usda 1.0\n");
        vela::AssetFetcher::GetInstance()->ReportFetchResult(path);
    });
    std::shared_ptr<ArAsset> asset = ArGetResolver().OpenAsset(ArResolvedPath(path));
    writer.join();
    ASSERT_NE(asset, nullptr);
    EXPECT_EQ(asset->GetSize(), 10u);
}

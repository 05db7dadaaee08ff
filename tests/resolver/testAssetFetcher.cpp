// vela::AssetFetcher in a process without a Python interpreter (as in a C++
// host): fetches fail cleanly, and the table's wait and report operations
// work on records that are still pending.
#include <Python.h>

#include "resolver/assetFetcher.h"
#include "tests/logCapture.h"
#include "tests/resolver/fetcherTestAccess.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

using spdlog::level::level_enum;
using vela::AssetFetcher;
using vela::AssetFetcherTestAccess;
using vela::AssetFetchResult;

TEST(AssetFetcher, InstanceIsMadeOnceForAllThreads)
{
    std::vector<std::thread> threads;
    std::vector<AssetFetcher*> seen(8, nullptr);
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back(
            [&seen, i] { seen[i] = AssetFetcher::GetInstance().get(); });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(std::set<AssetFetcher*>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(seen[0], AssetFetcher::GetInstance().get());
}

TEST(AssetFetcher, FetchWithoutInterpreterFailsWithoutTouchingPython)
{
    ASSERT_FALSE(Py_IsInitialized());
    vela_test::LogCapture log;
    EXPECT_EQ(AssetFetcher::GetInstance()->FetchAsset("p/a.usd", "/c"), "");
    EXPECT_EQ(log.Count(spdlog::level::err,
                        "AssetFetcher::FetchAsset: No Python "
                        "interpreter, cannot fetch: p/a.usd"),
              1u);
    EXPECT_EQ(AssetFetcher::GetInstance()->GetFetchResult("p/a.usd").status,
              vela::kInvalid);
    EXPECT_FALSE(Py_IsInitialized());
}

TEST(AssetFetcher, UnknownPathsGiveTheInvalidResult)
{
    vela_test::LogCapture log;
    auto fetcher = AssetFetcher::GetInstance();
    const AssetFetchResult result =
        fetcher->WaitForFetchStatus("/nowhere/a.usd");
    EXPECT_EQ(result.status, vela::kInvalid);
    EXPECT_EQ(result.assetPath, "");
    EXPECT_EQ(result.resolvedPath, "");
    EXPECT_EQ(result.startTime, 0);
    EXPECT_EQ(result.endTime, 0);
    EXPECT_EQ(log.Count(spdlog::level::err, "AssetFetcher::WaitForFetchStatus: "
                                            "Asset not found: /nowhere/a.usd"),
              1u);

    fetcher->ReportFetchResult("/nowhere/b.usd");
    EXPECT_EQ(
        log.Count(
            spdlog::level::err,
            "AssetFetcher::ReportFetchResult: Asset not found: /nowhere/b.usd"),
        1u);
    EXPECT_EQ(fetcher->GetFetchResult("/nowhere/b.usd").status, vela::kInvalid);
    EXPECT_EQ(log.Lines().size(), 2u);
}

TEST(AssetFetcher, ReportMarksAPendingFetchFetchedAndStampsIt)
{
    AssetFetcherTestAccess::PlantPending("/c/p/report.usd", "p/report.usd");
    auto fetcher = AssetFetcher::GetInstance();
    EXPECT_EQ(fetcher->GetFetchResult("/c/p/report.usd").status,
              vela::kPending);

    vela_test::LogCapture log;
    fetcher->ReportFetchResult("/c/p/report.usd");
    const AssetFetchResult result = fetcher->GetFetchResult("/c/p/report.usd");
    EXPECT_EQ(result.status, vela::kFetched);
    EXPECT_EQ(result.assetPath, "p/report.usd");
    EXPECT_GE(result.endTime, result.startTime);
    EXPECT_GT(result.endTime, 0);
    EXPECT_EQ(log.Lines().size(), 0u);
}

TEST(AssetFetcher, WaitReturnsOnceAnotherThreadReports)
{
    AssetFetcherTestAccess::PlantPending("/c/p/late.usd");
    auto fetcher = AssetFetcher::GetInstance();
    std::thread reporter(
        [fetcher] { fetcher->ReportFetchResult("/c/p/late.usd"); });
    const AssetFetchResult result =
        fetcher->WaitForFetchStatus("/c/p/late.usd");
    reporter.join();
    EXPECT_EQ(result.status, vela::kFetched);
    EXPECT_EQ(result.resolvedPath, "/c/p/late.usd");
}

TEST(AssetFetcher, FetchOfAKnownPathIsAnsweredFromTheTable)
{
    // The in-flight check looks the first argument up among the stored
    // local paths: no callback, so no need for an interpreter either.
    AssetFetcherTestAccess::PlantPending("/c/p/known.usd");
    vela_test::LogCapture log;
    EXPECT_EQ(AssetFetcher::GetInstance()->FetchAsset("/c/p/known.usd", "/c"),
              "/c/p/known.usd");
    EXPECT_EQ(log.Count(spdlog::level::info,
                        "AssetFetcher::FetchAsset: Asset "
                        "already being fetched: /c/p/known.usd"),
              1u);
    EXPECT_EQ(log.CountLevel(spdlog::level::err), 0u);
}

TEST(AssetFetcher, WaitOnAFetchThatStaysPendingTimesOut)
{
    // The one slow test: the wait gives up after its limit of about 10 s.
    AssetFetcherTestAccess::PlantPending("/c/p/never.usd");
    vela_test::LogCapture log;
    const AssetFetchResult result =
        AssetFetcher::GetInstance()->WaitForFetchStatus("/c/p/never.usd");
    EXPECT_EQ(result.status, vela::kInvalid);
    EXPECT_EQ(result.resolvedPath, "");
    EXPECT_EQ(log.Count(spdlog::level::err,
                        "AssetFetcher::WaitForFetchStatus: Timeout waiting for "
                        "asset: /c/p/never.usd"),
              1u);
    // The record itself is left as it was.
    EXPECT_EQ(
        AssetFetcher::GetInstance()->GetFetchResult("/c/p/never.usd").status,
        vela::kPending);
}

// vela::AssetFetcher under concurrent use, with an embedded interpreter:
// sixteen threads fetch through callbacks that raise, return garbage,
// return nothing or sleep, while others replace the callback, report
// fetches and wait for them. Meant to be run under ThreadSanitizer too.
#include <Python.h>

#include "resolver/assetFetcher.h"
#include "tests/logCapture.h"
#include "tests/resolver/fetcherTestAccess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

using vela::AssetFetcher;
using vela::AssetFetcherTestAccess;

namespace {

constexpr int k_threads = 16;

// The callbacks, keyed by the first segment of the asset path. Python
// errors are printed into a buffer instead of the test's output.
const char* k_callbacks = R"(
import io, sys, time
sys.stderr = io.StringIO()
calls = 0

def dispatch(assetPath, localPath):
    global calls
    calls += 1
    kind = assetPath.split("/")[0]
    if kind == "raise":
        raise RuntimeError("fetch failed: " + assetPath)
    if kind == "garbage":
        return 42
    if kind == "none":
        return None
    if kind == "empty":
        return ""
    if kind == "slow":
        time.sleep(0.002)
    return localPath + "/" + assetPath

def counted(assetPath, localPath):
    # One asset asked for by every thread at once: a slow fetch, counted.
    global calls
    calls += 1
    time.sleep(0.02)
    if assetPath.startswith("empty"):
        return ""
    return localPath + "/" + assetPath, kPending

kPending = 0

def other(assetPath, localPath):
    return localPath + "/other/" + assetPath
)";

// Holds the interpreter lock for the lifetime of the object.
class Gil
{
public:
    Gil()
        : _state(PyGILState_Ensure())
    {}
    ~Gil() { PyGILState_Release(_state); }

private:
    PyGILState_STATE _state;
};

PyObject* MainAttr(const char* name)
{
    PyObject* main = PyImport_AddModule("__main__");
    return PyObject_GetAttrString(main, name);
}

long CallCount()
{
    Gil gil;
    PyObject* calls = MainAttr("calls");
    const long n = PyLong_AsLong(calls);
    Py_DECREF(calls);
    return n;
}

bool SetCallback(const char* name)
{
    Gil gil;
    PyObject* callback = MainAttr(name);
    const bool ok = AssetFetcher::GetInstance()->SetOnFetchCallback(callback);
    Py_DECREF(callback);
    return ok;
}

// Starts the interpreter once for the program and lets go of its lock, so
// that every thread takes it the way the resolver's threads do.
class Interpreter : public ::testing::Environment
{
public:
    void SetUp() override
    {
        Py_InitializeEx(0);
        PyRun_SimpleString(k_callbacks);
        PyEval_SaveThread();
    }
};

const ::testing::Environment* const k_interpreter =
    ::testing::AddGlobalTestEnvironment(new Interpreter);

std::string Kind(int n)
{
    static const char* kinds[] = {"ok",   "raise", "garbage",
                                  "none", "empty", "slow"};
    return kinds[n % 6];
}

} // namespace

TEST(FetcherConcurrent, FirstUseWhileAPythonThreadHoldsTheLock)
{
    // Under ctest each test runs in a process of its own, so this is the
    // fetcher's first use: a resolver thread creates it while a Python
    // thread holding the interpreter lock asks for it too.
    std::promise<void> pythonHasLock, finished;
    std::thread python([&] {
        Gil gil;
        pythonHasLock.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        AssetFetcher::GetInstance();
    });
    pythonHasLock.get_future().wait();
    std::thread resolver([] { AssetFetcher::GetInstance(); });
    std::thread joiner([&] {
        python.join();
        resolver.join();
        finished.set_value();
    });
    // A deadlock guard, not a timing check.
    if (finished.get_future().wait_for(std::chrono::seconds(60)) !=
        std::future_status::ready) {
        ADD_FAILURE() << "creating the fetcher deadlocked";
        std::_Exit(1);
    }
    joiner.join();
}

TEST(FetcherConcurrent, CallbacksOfEveryKindFromSixteenThreads)
{
    ASSERT_TRUE(SetCallback("dispatch"));
    const long before = CallCount();
    constexpr int k_rounds = 24;

    vela_test::LogCapture log(spdlog::level::err);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < k_threads; ++t) {
        threads.emplace_back([t, &wrong] {
            auto fetcher = AssetFetcher::GetInstance();
            for (int i = 0; i < k_rounds; ++i) {
                const std::string kind = Kind(t + i);
                const std::string asset =
                    kind + "/" + std::to_string(t) + "/" + std::to_string(i);
                const std::string got = fetcher->FetchAsset(asset, "/cache");
                const bool fetches = kind == "ok" || kind == "slow";
                const std::string expected = fetches ? "/cache/" + asset : "";
                if (got != expected) {
                    ++wrong;
                }
                // A failed fetch leaves no record under any path it named.
                if (!fetches &&
                    fetcher->GetFetchResult("/cache/" + asset).status !=
                        vela::kInvalid) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(CallCount() - before, k_threads * k_rounds);

    // Raising, returning a number and returning None are the errors.
    int errors = 0;
    for (int t = 0; t < k_threads; ++t) {
        for (int i = 0; i < k_rounds; ++i) {
            const std::string kind = Kind(t + i);
            errors += kind == "raise" || kind == "garbage" || kind == "none";
        }
    }
    EXPECT_EQ(log.Count(spdlog::level::err,
                        "AssetFetcher::FetchAsset: Error in fetch callback"),
              static_cast<size_t>(errors));
    EXPECT_EQ(log.Lines().size(), static_cast<size_t>(errors));

    const auto record =
        AssetFetcher::GetInstance()->GetFetchResult("/cache/ok/0/0");
    EXPECT_EQ(record.status, vela::kFetched);
    EXPECT_EQ(record.assetPath, "ok/0/0");
    EXPECT_GE(record.endTime, record.startTime);

    // What the raising callbacks printed went to the interpreter's stderr.
    Gil gil;
    PyObject* err =
        PyRun_String("sys.stderr.getvalue()", Py_eval_input,
                     PyModule_GetDict(PyImport_AddModule("__main__")),
                     PyModule_GetDict(PyImport_AddModule("__main__")));
    ASSERT_NE(err, nullptr);
    const std::string printed = PyUnicode_AsUTF8(err);
    Py_DECREF(err);
    EXPECT_NE(printed.find("RuntimeError: fetch failed: raise/"),
              std::string::npos);
    EXPECT_NE(
        printed.find("TypeError: fetch callback must return str, not int"),
        std::string::npos);
}

TEST(FetcherConcurrent, OneAssetFromSixteenThreadsIsOneCallback)
{
    // Pending records answer later requests, failures do not: the failing
    // asset's waiters share the one failed call, the next request calls
    // again.
    ASSERT_TRUE(SetCallback("counted"));
    auto fetcher = AssetFetcher::GetInstance();
    for (const std::string asset : {"ok/shared.usd", "empty/shared.usd"}) {
        const long before = CallCount();
        const std::string expected =
            asset[0] == 'o' ? "/cache/" + asset : std::string();
        std::atomic<int> ready{0}, wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < k_threads; ++t) {
            threads.emplace_back([&] {
                ++ready;
                while (ready.load() < k_threads) {
                    std::this_thread::yield();
                }
                if (fetcher->FetchAsset(asset, "/cache") != expected) {
                    ++wrong;
                }
            });
        }
        for (auto& t : threads) {
            t.join();
        }
        EXPECT_EQ(wrong.load(), 0) << asset;
        EXPECT_GE(CallCount() - before, 1) << asset;
        if (!expected.empty()) {
            EXPECT_EQ(CallCount() - before, 1);
            EXPECT_EQ(fetcher->GetFetchResult(expected).status, vela::kPending);
            fetcher->ReportFetchResult(expected);
            EXPECT_EQ(fetcher->WaitForFetchStatus(expected).status,
                      vela::kFetched);
        } else {
            const long failed = CallCount();
            EXPECT_EQ(fetcher->FetchAsset(asset, "/cache"), "");
            EXPECT_EQ(CallCount(), failed + 1);
        }
    }
}

TEST(FetcherConcurrent, ReportsRaceWaitsAndRefetches)
{
    ASSERT_TRUE(SetCallback("dispatch"));
    auto fetcher = AssetFetcher::GetInstance();
    std::vector<std::string> paths;
    for (int i = 0; i < k_threads; ++i) {
        paths.push_back("/cache/race/" + std::to_string(i));
        AssetFetcherTestAccess::PlantPending(paths.back(),
                                             "race/" + std::to_string(i));
    }

    std::atomic<int> notFetched{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < k_threads; ++i) {
        // Waiters, each on its own path first, then on the others' while
        // those are re-fetched.
        threads.emplace_back([&, i] {
            for (int n = 0; n < 16; ++n) {
                if (fetcher->WaitForFetchStatus(paths[(i + n) % k_threads])
                        .status != vela::kFetched) {
                    ++notFetched;
                }
            }
        });
        // Reporters, and fetches that overwrite the records being read:
        // the callback returns the same local path again.
        threads.emplace_back([&, i] {
            fetcher->ReportFetchResult(paths[i]);
            for (int n = 0; n < 8; ++n) {
                fetcher->FetchAsset("race/" + std::to_string(i), "/cache");
                fetcher->GetFetchResult(paths[(i + n) % k_threads]);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(notFetched.load(), 0);
    for (const std::string& path : paths) {
        EXPECT_EQ(fetcher->GetFetchResult(path).status, vela::kFetched) << path;
    }
}

TEST(FetcherConcurrent, CallbackReplacedWhileFetching)
{
    ASSERT_TRUE(SetCallback("dispatch"));
    vela_test::LogCapture log(spdlog::level::info);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < k_threads - 1; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < 16; ++i) {
                const std::string asset =
                    "ok/swap/" + std::to_string(t) + "/" + std::to_string(i);
                const std::string got =
                    AssetFetcher::GetInstance()->FetchAsset(asset, "/cache");
                if (got != "/cache/" + asset &&
                    got != "/cache/other/" + asset) {
                    ++wrong;
                }
            }
        });
    }
    threads.emplace_back([] {
        for (int i = 0; i < 32; ++i) {
            SetCallback(i % 2 ? "dispatch" : "other");
        }
    });
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(
        log.Count(
            spdlog::level::info,
            "AssetFetcher::setOnFetchCallback: Existing callback replaced."),
        32u);
}

TEST(FetcherConcurrent, CallbackNotSetAndNotCallable)
{
    // Runs in its own process under ctest, so no callback is set yet there;
    // in a single run of the whole program, an earlier test set one.
    vela_test::LogCapture log;
    auto fetcher = AssetFetcher::GetInstance();
    Gil gil;
    PyObject* notCallable = PyLong_FromLong(7);
    EXPECT_FALSE(fetcher->SetOnFetchCallback(notCallable));
    Py_DECREF(notCallable);
    EXPECT_EQ(
        log.Count(spdlog::level::err,
                  "AssetFetcher::setOnFetchCallback: Callback not a function."),
        1u);
}

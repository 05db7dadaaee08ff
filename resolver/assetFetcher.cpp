//
// Copyright 2026 vela contributors
//
// Python.h comes first, as CPython asks.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "resolver/assetFetcher.h"

#include <pxr/pxr.h>
#include <pxr/base/tf/fileUtils.h>

#include <spdlog/spdlog.h>

#include <chrono>
#include <vector>

namespace vela {

namespace {

constexpr std::chrono::seconds _WaitLimit(10);
constexpr std::chrono::milliseconds _RecheckInterval(100);

std::time_t _Now()
{
    return std::time(nullptr);
}

// An asset is the blob path fetched into one local directory: two contexts
// with the same prefix but different directories fetch twice.
std::string _AssetKey(const std::string& assetPath,
                      const std::string& localPath)
{
    std::string key;
    key.reserve(assetPath.size() + 1 + localPath.size());
    key.append(assetPath).append(1, '\0').append(localPath);
    return key;
}

// Lets go of the interpreter lock for its lifetime if this thread holds it,
// before anything waits: the fetch or report being waited for may need the
// lock (a resolving thread that holds it, such as a Python thread opening a
// layer, would otherwise keep the callback or the reporter from running).
class _GilReleased
{
public:
    _GilReleased()
        : _state(Py_IsInitialized() && PyGILState_Check() ? PyEval_SaveThread()
                                                          : nullptr)
    {}
    ~_GilReleased()
    {
        if (_state) {
            PyEval_RestoreThread(_state);
        }
    }
    _GilReleased(const _GilReleased&) = delete;
    _GilReleased& operator=(const _GilReleased&) = delete;

private:
    PyThreadState* _state;
};

// Reads what a callback returned into record: a str is a finished fetch,
// (str, status) a finished one or, with kPending, a download still running.
// Sets a Python error and returns false for anything else.
bool _ReadAnswer(PyObject* returned, AssetFetchResult& record)
{
    PyObject* path = returned;
    AssetFetchStatus status = kFetched;
    if (PyTuple_Check(returned)) {
        const long given = PyTuple_GET_SIZE(returned) == 2
                               ? PyLong_AsLong(PyTuple_GET_ITEM(returned, 1))
                               : -1;
        path = PyTuple_GET_SIZE(returned) == 2 ? PyTuple_GET_ITEM(returned, 0)
                                               : nullptr;
        if (!path || !PyUnicode_Check(path) ||
            (given != kPending && given != kFetched)) {
            PyErr_Clear();
            PyErr_SetString(PyExc_TypeError,
                            "fetch callback must return str or (str, "
                            "AssetFetchStatus.kPending or kFetched)");
            return false;
        }
        status = static_cast<AssetFetchStatus>(given);
    } else if (!PyUnicode_Check(returned)) {
        PyErr_Format(PyExc_TypeError, "fetch callback must return str, not %s",
                     Py_TYPE(returned)->tp_name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(path, &size);
    if (!text) {
        return false;
    }
    record.resolvedPath.assign(text, static_cast<size_t>(size));
    record.status = status;
    return true;
}

} // namespace

std::shared_ptr<AssetFetcher> AssetFetcher::m_Instance;
const AssetFetchResult AssetFetcher::k_InvalidResult{};

std::shared_ptr<AssetFetcher> AssetFetcher::GetInstance()
{
    static std::once_flag once;
    std::call_once(once, [] { m_Instance.reset(new AssetFetcher()); });
    return m_Instance;
}

// The empty callback slot stands for None. Taking a reference to None here
// would need the interpreter lock inside GetInstance's once-only creation:
// a Python thread that holds the lock and calls GetInstance meanwhile would
// wait for the creation, and the creation for the lock.
AssetFetcher::AssetFetcher()
    : _callback(nullptr)
{}

AssetFetcher::~AssetFetcher()
{
    // At process exit the interpreter may already be gone; touching the
    // object then would crash, and leaking one reference is harmless.
    if (_callback && Py_IsInitialized()) {
        PyGILState_STATE gil = PyGILState_Ensure();
        Py_CLEAR(_callback);
        PyGILState_Release(gil);
    }
}

bool AssetFetcher::SetOnFetchCallback(PyObject* callback)
{
    if (!callback || !PyCallable_Check(callback)) {
        spdlog::error(
            "AssetFetcher::setOnFetchCallback: Callback not a function.");
        return false;
    }
    // Only callables are ever stored, so there is no truth test that could
    // fail: an empty slot is None, anything else was accepted here.
    if (_callback) {
        spdlog::info(
            "AssetFetcher::setOnFetchCallback: Existing callback replaced.");
    }
    Py_INCREF(callback);
    PyObject* old = _callback;
    _callback = callback;
    Py_XDECREF(old);
    return true;
}

void AssetFetcher::_CallCallback(const std::string& localPath,
                                 AssetFetchResult& record)
{
    if (!_callback) {
        spdlog::error("AssetFetcher::FetchAsset: Callback not set");
        record.status = kFailed;
        return;
    }
    if (!PyCallable_Check(_callback)) {
        spdlog::error("AssetFetcher::FetchAsset: Callback not callable");
        record.status = kFailed;
        return;
    }
    // Keep the callable alive through the call even if the callback
    // replaces itself.
    PyObject* callback = _callback;
    Py_INCREF(callback);
    PyObject* returned = PyObject_CallFunction(
        callback, "(s#s#)", record.assetPath.data(),
        static_cast<Py_ssize_t>(record.assetPath.size()), localPath.data(),
        static_cast<Py_ssize_t>(localPath.size()));
    Py_DECREF(callback);

    bool ok = false;
    if (returned) {
        ok = _ReadAnswer(returned, record);
        Py_DECREF(returned);
    }
    if (!ok) {
        spdlog::error("AssetFetcher::FetchAsset: Error in fetch callback");
        PyErr_Print();
        record.resolvedPath.clear();
        record.status = kFailed;
    }
}

bool AssetFetcher::_FindKnown(const std::string& assetPath,
                              const std::string& key, std::string* resolvedPath)
{
    // The resolver asks for a path an earlier fetch returned, when the
    // callback answered with a path the default resolver cannot find.
    auto returned = _results.find(assetPath);
    if (returned != _results.end()) {
        spdlog::info(
            "AssetFetcher::FetchAsset: Asset already being fetched: {0}",
            assetPath);
        *resolvedPath = returned->second.resolvedPath;
        return true;
    }

    // A relative path that no search path finds comes back under its blob
    // path every time it is resolved.
    auto fetched = _byAsset.find(key);
    if (fetched == _byAsset.end()) {
        return false;
    }
    const AssetFetchResult& record = _results.at(fetched->second);
    if (record.status == kPending) {
        spdlog::info(
            "AssetFetcher::FetchAsset: Asset already being fetched: {0}",
            assetPath);
        *resolvedPath = record.resolvedPath;
        return true;
    }
    if (record.status == kFetched &&
        pxr::TfIsFile(record.resolvedPath, /*resolveSymlinks=*/true)) {
        spdlog::debug("AssetFetcher::FetchAsset: Asset already fetched: {0}, "
                      "resolvedPath: {1}",
                      assetPath, record.resolvedPath);
        *resolvedPath = record.resolvedPath;
        return true;
    }
    // The local copy is gone: fetch it again.
    _byAsset.erase(fetched);
    return false;
}

std::string AssetFetcher::FetchAsset(const std::string& assetPath,
                                     const std::string& localPath)
{
    const std::string key = _AssetKey(assetPath, localPath);
    std::shared_ptr<_Flight> flight;
    {
        std::unique_lock<std::mutex> lock(_mutex);
        std::string known;
        if (_FindKnown(assetPath, key, &known)) {
            return known;
        }
        auto running = _flights.find(key);
        if (running != _flights.end()) {
            const std::shared_ptr<_Flight> first = running->second;
            if (first->owner == std::this_thread::get_id()) {
                lock.unlock();
                spdlog::error("AssetFetcher::FetchAsset: Fetch callback asked "
                              "for its own asset: {0}",
                              assetPath);
                return std::string();
            }
            // Lock order: the interpreter lock goes before the mutex is
            // taken again, and comes back after it is let go.
            lock.unlock();
            _GilReleased released;
            lock.lock();
            _reported.wait(lock, [&first] { return first->done; });
            std::string resolvedPath = first->resolvedPath;
            lock.unlock();
            return resolvedPath;
        }
        if (Py_IsInitialized()) {
            flight = std::make_shared<_Flight>();
            flight->owner = std::this_thread::get_id();
            _flights.emplace(key, flight);
        }
    }

    if (!flight) {
        spdlog::error("AssetFetcher::FetchAsset: No Python interpreter, cannot "
                      "fetch: {0}",
                      assetPath);
        return std::string();
    }

    AssetFetchResult record;
    record.status = kPending;
    record.assetPath = assetPath;
    record.startTime = _Now();

    PyGILState_STATE gil = PyGILState_Ensure();
    _CallCallback(localPath, record);
    PyGILState_Release(gil);

    if (record.status == kFetched) {
        record.endTime = _Now();
    }
    const std::string resolvedPath = record.resolvedPath;
    _Land(key, flight, std::move(record));
    return resolvedPath;
}

void AssetFetcher::_Land(const std::string& key,
                         const std::shared_ptr<_Flight>& flight,
                         AssetFetchResult record)
{
    std::vector<std::string> unclaimed;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (!record.resolvedPath.empty()) {
            if (record.status == kPending &&
                _earlyReports.erase(record.resolvedPath)) {
                record.status = kFetched;
                record.endTime = _Now();
            }
            _byAsset[key] = record.resolvedPath;
            _results[record.resolvedPath] = record;
        }
        flight->resolvedPath = record.resolvedPath;
        flight->done = true;
        _flights.erase(key);
        if (_flights.empty()) {
            unclaimed.assign(_earlyReports.begin(), _earlyReports.end());
            _earlyReports.clear();
        }
        _reported.notify_all();
    }
    for (const std::string& path : unclaimed) {
        spdlog::error("AssetFetcher::ReportFetchResult: Asset not found: {0}",
                      path);
    }
}

AssetFetchResult AssetFetcher::WaitForFetchStatus(const std::string& path)
{
    using Clock = std::chrono::steady_clock;

    _GilReleased released;
    std::unique_lock<std::mutex> lock(_mutex);
    if (_results.find(path) == _results.end()) {
        lock.unlock();
        spdlog::error("AssetFetcher::WaitForFetchStatus: Asset not found: {0}",
                      path);
        return k_InvalidResult;
    }

    const Clock::time_point deadline = Clock::now() + _WaitLimit;
    while (Clock::now() < deadline) {
        // Entries are never erased, but they may be overwritten by a
        // re-fetch or a report: look up again and copy while locked.
        const AssetFetchResult& entry = _results.find(path)->second;
        if (entry.status != kPending) {
            return entry;
        }
        _reported.wait_until(
            lock, std::min(deadline, Clock::now() + _RecheckInterval));
    }
    lock.unlock();
    spdlog::error(
        "AssetFetcher::WaitForFetchStatus: Timeout waiting for asset: {0}",
        path);
    return k_InvalidResult;
}

void AssetFetcher::ReportFetchResult(const std::string& path)
{
    std::unique_lock<std::mutex> lock(_mutex);
    auto it = _results.find(path);
    if (it == _results.end()) {
        if (!_flights.empty()) {
            // Perhaps a download that finished before its callback returned
            // the path; _Land claims it or logs it.
            _earlyReports.insert(path);
            return;
        }
        lock.unlock();
        spdlog::error("AssetFetcher::ReportFetchResult: Asset not found: {0}",
                      path);
        return;
    }
    it->second.status = kFetched;
    it->second.endTime = _Now();
    _reported.notify_all();
}

AssetFetchResult AssetFetcher::GetFetchResult(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _results.find(path);
    return it == _results.end() ? k_InvalidResult : it->second;
}

} // namespace vela

//
// Copyright 2026 vela contributors
//
// Python.h comes first, as CPython asks.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "resolver/assetFetcher.h"

#include <spdlog/spdlog.h>

#include <chrono>

namespace vela {

namespace {

constexpr std::chrono::seconds _WaitLimit(10);
constexpr std::chrono::milliseconds _RecheckInterval(100);

std::time_t _Now()
{
    return std::time(nullptr);
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
        if (PyUnicode_Check(returned)) {
            Py_ssize_t size = 0;
            const char* text = PyUnicode_AsUTF8AndSize(returned, &size);
            if (text) {
                record.resolvedPath.assign(text, static_cast<size_t>(size));
                record.status = kFetched;
                ok = true;
            }
        } else {
            PyErr_Format(PyExc_TypeError,
                         "fetch callback must return str, not %s",
                         Py_TYPE(returned)->tp_name);
        }
        Py_DECREF(returned);
    }
    if (!ok) {
        spdlog::error("AssetFetcher::FetchAsset: Error in fetch callback");
        PyErr_Print();
        record.resolvedPath.clear();
        record.status = kFailed;
    }
}

std::string AssetFetcher::FetchAsset(const std::string& assetPath,
                                     const std::string& localPath)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        auto it = _results.find(assetPath);
        if (it != _results.end()) {
            spdlog::info(
                "AssetFetcher::FetchAsset: Asset already being fetched: {0}",
                assetPath);
            return it->second.resolvedPath;
        }
    }

    AssetFetchResult record;
    record.status = kPending;
    record.assetPath = assetPath;
    record.startTime = _Now();

    if (!Py_IsInitialized()) {
        spdlog::error("AssetFetcher::FetchAsset: No Python interpreter, cannot "
                      "fetch: {0}",
                      assetPath);
        return std::string();
    }

    PyGILState_STATE gil = PyGILState_Ensure();
    _CallCallback(localPath, record);
    PyGILState_Release(gil);

    record.endTime = _Now();
    if (record.resolvedPath.empty()) {
        return std::string();
    }

    std::lock_guard<std::mutex> lock(_mutex);
    _results[record.resolvedPath] = record;
    return record.resolvedPath;
}

AssetFetchResult AssetFetcher::WaitForFetchStatus(const std::string& path)
{
    using Clock = std::chrono::steady_clock;

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

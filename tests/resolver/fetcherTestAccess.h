// Test access to the fetcher: plants records that the public operations
// never leave behind, such as fetches that are still pending.
#ifndef VELA_TESTS_FETCHER_TEST_ACCESS_H
#define VELA_TESTS_FETCHER_TEST_ACCESS_H

#include "resolver/assetFetcher.h"

#include <mutex>
#include <string>

namespace vela {

class AssetFetcherTestAccess
{
public:
    /// Stores a pending record under \p resolvedPath, as a fetch that has
    /// started but not finished would leave it.
    static void PlantPending(const std::string& resolvedPath,
                             const std::string& assetPath = "blob")
    {
        auto fetcher = AssetFetcher::GetInstance();
        std::lock_guard<std::mutex> lock(fetcher->_mutex);
        AssetFetchResult& entry = fetcher->_results[resolvedPath];
        entry.status = kPending;
        entry.assetPath = assetPath;
        entry.resolvedPath = resolvedPath;
        entry.startTime = 1;
        entry.endTime = 0;
    }
};

} // namespace vela

#endif // VELA_TESTS_FETCHER_TEST_ACCESS_H

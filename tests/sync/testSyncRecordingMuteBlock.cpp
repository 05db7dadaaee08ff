// A muted store changes without recording, and a mute block leaves the
// store recording as it was before the block, however blocks nest.
#include "sync/syncData.h"
#include "sync/syncRecordingMuteBlock.h"
#include "tests/sync/syncTestHelpers.h"

#include <pxr/usd/sdf/path.h>
#include <pxr/usd/sdf/types.h>

#include <gtest/gtest.h>

using namespace pxr;
using vela::SyncData;
using vela::SyncDataRefPtr;
using vela::SyncRecordingMuteBlock;
using vela_test::Drain;

namespace {

// Creates a prim at \p path and says whether the store recorded it.
bool CreateIsRecorded(SyncData& store, const char* path)
{
    const size_t before = store.GetPendingOpCount();
    store.CreateSpec(SdfPath(path), SdfSpecTypePrim);
    return store.GetPendingOpCount() > before;
}

} // namespace

TEST(SyncRecordingMuteBlock, NestedBlocksRecordAgainOnlyAfterTheOutermost)
{
    SyncDataRefPtr store = SyncData::NewForLayer();
    Drain(*store);
    {
        const SyncRecordingMuteBlock outer(get_pointer(store));
        {
            const SyncRecordingMuteBlock inner(get_pointer(store));
            EXPECT_FALSE(CreateIsRecorded(*store, "/A"));
        }
        // The inner block must not unmute what the outer one muted.
        EXPECT_TRUE(store->IsRecordingMuted());
        EXPECT_FALSE(CreateIsRecorded(*store, "/B"));
    }
    EXPECT_FALSE(store->IsRecordingMuted());
    EXPECT_TRUE(CreateIsRecorded(*store, "/C"));
    // The muted edits changed the store all the same.
    EXPECT_TRUE(store->HasSpec(SdfPath("/A")));
    EXPECT_TRUE(store->HasSpec(SdfPath("/B")));
}

TEST(SyncRecordingMuteBlock, StoreMutedBeforeTheBlockStaysMuted)
{
    SyncDataRefPtr store = SyncData::NewForLayer();
    store->SetRecordingMuted(true);
    {
        const SyncRecordingMuteBlock block(get_pointer(store));
    }
    EXPECT_TRUE(store->IsRecordingMuted());
    // A null store is nothing to mute.
    const SyncRecordingMuteBlock none(nullptr);
}

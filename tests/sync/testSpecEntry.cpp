// A spec's type and fields in one word: the fields must behave as a
// vector's would (order, copies, erasure, growth) without disturbing the
// type, and every field made must be destroyed once.
#include "sync/specEntry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace pxr;
using vela::SpecEntry;

namespace {

int g_live = 0;

struct Field
{
    explicit Field(std::string n)
        : name(std::move(n))
        , payload(std::make_shared<int>(1))
    {
        ++g_live;
    }
    Field(const Field& other)
        : name(other.name)
        , payload(other.payload)
    {
        ++g_live;
    }
    Field(Field&& other) noexcept
        : name(std::move(other.name))
        , payload(std::move(other.payload))
    {
        ++g_live;
    }
    Field& operator=(const Field&) = default;
    Field& operator=(Field&&) noexcept = default;
    ~Field() { --g_live; }

    std::string name;
    std::shared_ptr<int> payload;
};

using Entry = SpecEntry<Field>;

std::vector<std::string> Names(const Entry& entry)
{
    std::vector<std::string> names;
    for (const Field& field : entry) {
        names.push_back(field.name);
    }
    return names;
}

Entry Make(SdfSpecType type, int count)
{
    Entry entry;
    entry.SetType(type);
    for (int i = 0; i < count; ++i) {
        entry.push_back(Field("f" + std::to_string(i)));
    }
    return entry;
}

} // namespace

TEST(SpecEntry, KeepsTypeAndOrderThroughGrowthAndErasure)
{
    {
        Entry entry;
        EXPECT_EQ(entry.GetType(), SdfSpecTypeUnknown);
        EXPECT_TRUE(entry.empty());
        EXPECT_EQ(entry.begin(), entry.end());

        entry = Make(SdfSpecTypeRelationshipTarget, 11);
        EXPECT_EQ(entry.GetType(), SdfSpecTypeRelationshipTarget);
        ASSERT_EQ(entry.size(), 11u);
        EXPECT_EQ(entry.back().name, "f10");

        entry.erase(entry.begin() + 1);
        entry.erase(entry.begin() + 3, entry.begin() + 5);
        entry.erase(entry.end() - 1);
        EXPECT_EQ(Names(entry), (std::vector<std::string>{
                                    "f0", "f2", "f3", "f6", "f7", "f8", "f9"}));
        entry.SetType(SdfSpecTypeVariantSet);
        EXPECT_EQ(entry.GetType(), SdfSpecTypeVariantSet);
        EXPECT_EQ(entry.size(), 7u);

        entry.erase(entry.begin(), entry.end());
        EXPECT_TRUE(entry.empty());
        entry.push_back(Field("again"));
        EXPECT_EQ(Names(entry), (std::vector<std::string>{"again"}));
        EXPECT_EQ(entry.GetType(), SdfSpecTypeVariantSet);
    }
    EXPECT_EQ(g_live, 0);
}

TEST(SpecEntry, CopiesAreDeepAndMovesLeaveTheSourceEmpty)
{
    {
        Entry original = Make(SdfSpecTypePrim, 5);
        Entry copy = original;
        copy.erase(copy.begin());
        copy.SetType(SdfSpecTypeAttribute);
        EXPECT_EQ(original.size(), 5u);
        EXPECT_EQ(original.GetType(), SdfSpecTypePrim);
        EXPECT_EQ(copy.size(), 4u);
        EXPECT_EQ(copy.begin()->payload, (original.begin() + 1)->payload);

        Entry moved = std::move(copy);
        EXPECT_TRUE(copy.empty());
        EXPECT_EQ(moved.size(), 4u);
        EXPECT_EQ(moved.GetType(), SdfSpecTypeAttribute);

        moved = original;
        EXPECT_EQ(Names(moved), Names(original));
        moved = Entry();
        EXPECT_TRUE(moved.empty());

        Entry empty;
        Entry fromEmpty = empty;
        EXPECT_TRUE(fromEmpty.empty());
    }
    EXPECT_EQ(g_live, 0);
}

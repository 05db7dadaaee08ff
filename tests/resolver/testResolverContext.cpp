// vela::ResolverContext: identity by blob prefix, its text form, and its
// life inside an ArResolverContext.
#include "resolver/resolverContext.h"
#include "tests/logCapture.h"

#include <pxr/ar/resolverContext.h>
#include <pxr/tf/hash.h>

#include <gtest/gtest.h>

using namespace pxr;
using vela::ResolverContext;

TEST(ResolverContext, AsStringNamesBothFieldsAndNothingElse)
{
    EXPECT_EQ(ResolverContext("p", "/c").GetAsString(), "[blobPrefix=p, localPath=/c]");
    EXPECT_EQ(ResolverContext("a b", "").GetAsString(), "[blobPrefix=a b, localPath=]");
}

TEST(ResolverContext, IdentityOrderAndHashUseOnlyTheBlobPrefix)
{
    const ResolverContext pc("p", "/c"), pd("p", "/d"), a("a", "/z"), b("b", "/a");
    EXPECT_TRUE(pc == pd);
    EXPECT_FALSE(pc != pd);
    EXPECT_EQ(hash_value(pc), hash_value(pd));
    EXPECT_EQ(hash_value(pc), TfHash()(std::string("p")));
    EXPECT_FALSE(pc < pd);
    EXPECT_FALSE(pd < pc);

    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(a != b);
    // Byte-wise: a prefix sorts first, and upper case before lower case.
    EXPECT_TRUE(ResolverContext("p", "") < ResolverContext("pq", ""));
    EXPECT_TRUE(ResolverContext("Z", "") < ResolverContext("a", ""));
}

TEST(ResolverContext, EmptyFieldsWarnButBuild)
{
    vela_test::LogCapture log;
    ResolverContext empty("", "");
    EXPECT_EQ(empty.GetBlobPrefix(), "");
    EXPECT_EQ(log.Count(spdlog::level::warn, "ResolverContext: blobPrefix is empty"), 1u);
    EXPECT_EQ(log.Count(spdlog::level::warn, "ResolverContext: localPath is empty"), 1u);

    vela_test::LogCapture quiet;
    ResolverContext full("p", "/c");
    EXPECT_EQ(quiet.CountLevel(spdlog::level::warn), 0u);
}

TEST(ResolverContext, TravelsInsideAnArResolverContext)
{
    const ArResolverContext c(ResolverContext("p", "/c"));
    const ArResolverContext d(ResolverContext("p", "/d"));
    const ArResolverContext other(ResolverContext("q", "/c"));
    ASSERT_NE(c.Get<ResolverContext>(), nullptr);
    EXPECT_EQ(c.Get<ResolverContext>()->GetLocalPath(), "/c");
    EXPECT_EQ(c, d);
    EXPECT_EQ(hash_value(c), hash_value(d));
    EXPECT_NE(c, other);
    EXPECT_TRUE(c < other);
    EXPECT_NE(c.GetDebugString().find("[blobPrefix=p, localPath=/c]"), std::string::npos);
}

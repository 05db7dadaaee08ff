#include <gtest/gtest.h>
#include <pxr/sdf/layer.h>
#include <pxr/sdf/fileFormat.h>
#include <pxr/plug/registry.h>
#include <pxr/plug/plugin.h>

using namespace pxr;

TEST(Smoke, AnonymousUsdaLayer)
{
    auto layer = SdfLayer::CreateAnonymous("x.usda");
    ASSERT_TRUE(layer);
    auto plugs = PlugRegistry::GetInstance().GetAllPlugins();
    for (auto& p : plugs) printf("plugin %s\n", p->GetName().c_str());
    auto fmt = SdfFileFormat::FindById(TfToken("vela"));
    printf("vela fmt %d\n", (bool)fmt);
}

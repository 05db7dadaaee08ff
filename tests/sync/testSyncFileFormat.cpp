// The file format plug-in: registration, identity, refusal to read, and
// the data accessor.
#include "sync/syncFileFormat.h"
#include "tests/logCapture.h"

#include <pxr/base/arch/fileSystem.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/base/tf/errorMark.h>
#include <pxr/base/tf/fileUtils.h>
#include <pxr/base/tf/registryManager.h>
#include <pxr/base/tf/scriptModuleLoader.h>
#include <pxr/base/tf/type.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace pxr;
using vela_test::LogCapture;

TEST(SyncFileFormat, IsRegisteredUnderItsTokens)
{
    SdfFileFormatConstPtr format = SdfFileFormat::FindById(TfToken("vela"));
    ASSERT_TRUE(format);
    EXPECT_TRUE(TfDynamic_cast<TfWeakPtr<const SyncFileFormat>>(format));
    EXPECT_EQ(SdfFileFormat::FindByExtension("scene.vela"), format);
    EXPECT_EQ(format->GetFormatId(), VelaSyncFileFormatTokens->Id);
    EXPECT_EQ(format->GetVersionString(), TfToken("1.0"));
    EXPECT_EQ(format->GetTarget(), TfToken("usd"));
    EXPECT_EQ(format->GetFileExtensions(), std::vector<std::string>{"vela"});

    const TfType type = TfType::Find<SyncFileFormat>();
    EXPECT_EQ(type.GetTypeName(), "SyncFileFormat");
    EXPECT_EQ(type.GetBaseTypes(),
              std::vector<TfType>{TfType::Find<SdfFileFormat>()});

    const std::vector<TfToken> expected = {TfToken("vela"), TfToken("1.0"),
                                           TfToken("usd"), TfToken("vela")};
    EXPECT_EQ(VelaSyncFileFormatTokens->allTokens, expected);
}

TEST(SyncFileFormat, NeverReadsFiles)
{
    SdfFileFormatConstPtr format = SdfFileFormat::FindById(TfToken("vela"));
    ASSERT_TRUE(format);
    for (const char* path :
         {"scene.vela", "/tmp/scene.vela", "scene.usda", ""}) {
        EXPECT_FALSE(format->CanRead(path)) << path;
    }

    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("read.vela");
    LogCapture cap;
    EXPECT_FALSE(format->Read(get_pointer(layer), "/tmp/scene.vela", false));
    EXPECT_EQ(cap.Count(spdlog::level::info,
                        "SyncFileFormat doesn't support read from file"),
              1u);

    // A file of the format's extension on disk does not open.
    const std::string path = ArchMakeTmpFileName("velaOpen", ".vela");
    std::ofstream(path) << "#usda 1.0\n";
    {
        TfErrorMark mark;
        EXPECT_FALSE(SdfLayer::FindOrOpen(path));
        mark.Clear();
    }
    std::remove(path.c_str());
}

TEST(SyncFileFormat, InitDataGivesAFreshSyncData)
{
    SdfFileFormatConstPtr format = SdfFileFormat::FindById(TfToken("vela"));
    ASSERT_TRUE(format);
    SdfAbstractDataRefPtr data = format->InitData({{"ignored", "yes"}});
    auto syncData = TfDynamic_cast<vela::SyncDataRefPtr>(data);
    ASSERT_TRUE(syncData);
    EXPECT_EQ(syncData->GetSpecType(SdfPath::AbsoluteRootPath()),
              SdfSpecTypePseudoRoot);
}

TEST(SyncFileFormat, GetDataOnAnotherFormatLogsTheLayer)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("other.usda");
    LogCapture cap;
    EXPECT_FALSE(SyncFileFormat::GetData(*layer));
    EXPECT_EQ(cap.Count(spdlog::level::err, "SyncFileFormat::GetData: layer " +
                                                layer->GetIdentifier() +
                                                " has no SyncData"),
              1u);
}

TEST(SyncFileFormat, RegistersItsScriptModuleAndDependencies)
{
    // Registrations run once someone subscribes, as OpenUSD's Python
    // support does when it starts.
    TfRegistryManager::GetInstance().SubscribeTo<TfScriptModuleLoader>();
    const std::string path = ArchMakeTmpFileName("velaModules", ".dot");
    TfScriptModuleLoader::GetInstance().WriteDotFile(path);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path.c_str());

    const std::string dot = text.str();
    EXPECT_NE(dot.find("velaUsdSync"), std::string::npos) << dot;
    for (const char* dep : {"gf", "sdf", "tf", "usd"}) {
        EXPECT_NE(dot.find("velaUsdSync -> " + std::string(dep) + ";"),
                  std::string::npos)
            << dep << "\n"
            << dot;
    }
}

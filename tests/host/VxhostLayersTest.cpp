#include "tests/fixtures/PsdWriter.h"
#include "tests/host/HostRun.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(VxhostLayers, WritesTheCompositeAndEveryLayer)
{
    VxTestPsdLayer back{.bottom = 2, .right = 3, .name = "Back ground"};
    for (uint16_t id : {0, 1, 2})
        back.channels.push_back({id, VxTest_PsdPlane(3, 2, id == 2 ? 240 : 10)});
    VxTestPsdLayer spot{.top = 1, .left = 1, .bottom = 2, .right = 2, .name = "Spot", .flags = 2};
    for (uint16_t id : {0xFFFF, 0, 1, 2})
        spot.channels.push_back({id, {id == 0xFFFF ? 128u : 77u}});
    CVxTestDirectory directory;
    const std::string psd = directory.Path("doc.psd");
    ASSERT_TRUE(VxTest_WriteFile(psd, VxTest_WritePsd({.width = 3, .height = 2, .layers = {back, spot}})));

    const VxTestHostRun run = VxTest_RunHost({"layers", psd, "-o", directory.Path("out")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<uint8_t> spotPixels = VxTest_ReadPngRgba(directory.Path("out/layer-002-Spot.png"));
    ASSERT_EQ(spotPixels.size(), 3u * 2 * 4);
    EXPECT_EQ((std::vector<uint8_t>(spotPixels.begin() + 16, spotPixels.begin() + 20)),
              (std::vector<uint8_t>{77, 77, 77, 128}));
    EXPECT_EQ(spotPixels[3], 0);  // outside the layer
    EXPECT_EQ(VxTest_ReadPngRgba(directory.Path("out/layer-001-Back_ground.png"))[2], 240);
    EXPECT_TRUE(std::filesystem::exists(directory.Path("out/composite.png")));

    const VxTestHostRun refused = VxTest_RunHost({"layers", psd});
    EXPECT_EQ(refused.exitCode, 1);
}

}  // namespace

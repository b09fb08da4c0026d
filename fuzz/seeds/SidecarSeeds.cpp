// Seeds of SidecarFuzz: sidecars with and without summary fields, identity and media-manager
// properties, as the test fixture writer makes them.
#include "FuzzSeeds.h"

#include "tests/fixtures/SidecarWriter.h"

VX_FUZZ_SEEDS(SidecarFuzz)
{
    const std::vector<VxTestSidecarField> fields = {
        {"INAM", "Harbour at dawn"}, {"IART", "K. M\xfcller"}, {"ICMT", "\x80 5, caf\xe9"}, {"ICRD", ""}};
    VxTestSidecar withMediaMgr = VxTest_Sidecar(
        "harbour.png", fields, {VxTest_SidecarProperty(1, 16, 0), VxTest_SidecarProperty(2, 3, 40)});
    withMediaMgr.mediaMgr = true;
    // Larger than the reader's 4 KiB window: a block read past it, records that refill it.
    VxTestSidecar large = VxTest_Sidecar("large.png", fields, {VxTest_SidecarProperty(3, 5000, 9)});
    large.mediaMgr = true;
    for (uint32_t i = 0; i < 30; ++i)
        large.properties.push_back(VxTest_SidecarProperty(4 + i, 100, 20));
    VxTestSidecar emptyMediaMgr = VxTest_Sidecar("empty.png");
    emptyMediaMgr.mediaMgr = true;
    return {
        VxTest_WriteSidecar(VxTest_Sidecar("harbour.png", fields)),
        VxTest_WriteSidecar(withMediaMgr),
        VxTest_WriteSidecar(large),
        VxTest_WriteSidecar(emptyMediaMgr),
        VxTest_WriteSidecar(VxTest_Sidecar("", fields)),
        VxTest_WriteSidecar(VxTest_Sidecar("odd.png", {{"ISBJ", "a"}})),  // odd lengths: padding
    };
}

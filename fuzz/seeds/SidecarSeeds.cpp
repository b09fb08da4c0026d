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
    VxTestSidecar emptyMediaMgr = VxTest_Sidecar("empty.png");
    emptyMediaMgr.mediaMgr = true;
    return {
        VxTest_WriteSidecar(VxTest_Sidecar("harbour.png", fields)),
        VxTest_WriteSidecar(withMediaMgr),
        VxTest_WriteSidecar(emptyMediaMgr),
        VxTest_WriteSidecar(VxTest_Sidecar("", fields)),
        VxTest_WriteSidecar(VxTest_Sidecar("odd.png", {{"ISBJ", "a"}})),  // odd lengths: padding
    };
}

// Seeds of SidecarFuzz: sidecars of "m.jpg" with summary fields (odd and even lengths, an empty
// one), media-manager properties, both, and one naming another file.
#include "FuzzSeeds.h"

#include "tests/fixtures/SidecarWriter.h"

VX_FUZZ_SEEDS(SidecarFuzz)
{
    const std::vector<VxTestSidecarField> fields = {{"INAM", "Harbour"}, {"ICMT", "at dawn!"}, {"IART", ""}};
    const std::vector<VxTestSidecarProperty> properties = {VxTest_SidecarProperty(1, 3, 0),
                                                           VxTest_SidecarProperty(2, 0, 6)};
    return {
        VxTest_WriteSidecar(VxTest_Sidecar("m.jpg", fields)),
        VxTest_WriteSidecar(VxTest_Sidecar("m.jpg", {}, properties)),
        VxTest_WriteSidecar(VxTest_Sidecar("m.jpg", fields, properties)),
        VxTest_WriteSidecar(VxTest_Sidecar("other.jpg", fields, properties)),
    };
}

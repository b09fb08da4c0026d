#include "ModuleCopy.h"
#include "platform/VxStr.h"

#include <gtest/gtest.h>

namespace {

// Without OpenExr.so beside the module the EXR class object still exists and answers every
// open with VXE_FILE_OPEN; with the stand-in component, which opens nothing, the same.
TEST(ExrReaderAbsence, OpensAnswerFileOpenWithoutAWorkingComponent)
{
    for (const auto component : {CVxModuleCopy::Component::Missing, CVxModuleCopy::Component::Beside}) {
        CVxModuleCopy module(component);
        ASSERT_TRUE(module.Handle()) << module.Error();
        const auto getClassObject = module.Symbol<PFN_DllGetClassObject>("DllGetClassObject");
        ASSERT_TRUE(getClassObject);
        CVxComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(CLSID_VxExrPlugin, IID_IClassFactory, factory.OutVoid()), S_OK);
        CVxComPtr<IVxReadFileClass> fileClass;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVxReadFileClass, fileClass.OutVoid()), S_OK);
        EXPECT_EQ(module.ComponentLoaded(), component == CVxModuleCopy::Component::Beside);

        // Any existing file will do: the component is asked before anything is read.
        const std::u16string path = VxStr_FromUtf8(module.ModulePath().string());
        CVxComPtr<IVxReadFile> file;
        EXPECT_EQ(fileClass->OpenReadFile(&file, 0, 0, path.c_str(), TRUE), VXE_FILE_OPEN);
        fileClass.Reset();
        EXPECT_FALSE(module.ComponentLoaded());  // the class object's use was its last
    }
}

}  // namespace

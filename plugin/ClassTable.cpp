// Which class objects the module has: a format adds itself by naming its creators in its row.
#include "ClassTable.h"

const VxClassRow kVxClassTable[4] = {
    {&CLSID_VxJpegPlugin, nullptr, nullptr},
    {&CLSID_VxPngPlugin, VxPng_CreateReadFileClass, nullptr},
    {&CLSID_VxExrPlugin, VxExr_CreateReadFileClass, nullptr},
    {&CLSID_VxPsdPlugin, nullptr, nullptr},
};

const VxClassRow kVxDibClasses = {&CLSID_VxDibPlugin, nullptr, nullptr};
const VxClassRow kVxTgaClasses = {&CLSID_VxTgaPlugin, nullptr, nullptr};

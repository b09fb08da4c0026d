// Which class objects the module has: a format adds itself by naming its creators in its row.
#include "ClassTable.h"

const VxClassRow kVxClassTable[4] = {
    {&CLSID_VxJpegPlugin, VxJpg_CreateReadFileClass, VxJpg_CreateRenderFileClass},
    {&CLSID_VxPngPlugin, VxPng_CreateReadFileClass, VxPng_CreateRenderFileClass},
    {&CLSID_VxExrPlugin, VxExr_CreateReadFileClass, VxExr_CreateRenderFileClass},
    {&CLSID_VxPsdPlugin, VxLayeredPsd_CreateReadFileClass, VxPsd_CreateRenderFileClass},
};

const VxClassRow kVxDibClasses = {&CLSID_VxDibPlugin, VxDib_CreateReadFileClass,
                                  VxDib_CreateRenderFileClass};
const VxClassRow kVxTgaClasses = {&CLSID_VxTgaPlugin, VxTga_CreateReadFileClass,
                                  VxTga_CreateRenderFileClass};

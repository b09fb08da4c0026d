// Keeps the library that holds an address loaded until the process ends. The EXR component
// asks for it once its worker threads exist: on Windows a library is unloaded under the
// loader's lock, where joining threads that must take the same lock to end never returns.
#pragma once

void VxPlatform_KeepLoaded(const void* address);

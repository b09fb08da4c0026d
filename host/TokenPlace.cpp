// The names of the places a memory token's block can live.
#include "TokenOwner.h"

bool VxHost_ParseTokenPlace(std::string_view text, VxHostTokenPlace& place)
{
    if (text == "local")
        place = VxHostTokenPlace::Local;
    else if (text == "kind0")
        place = VxHostTokenPlace::ChildMemory;
    else if (text == "kind1")
        place = VxHostTokenPlace::ChildMapping;
    else
        return false;
    return true;
}

const char* VxHost_TokenPlaceName(VxHostTokenPlace place)
{
    switch (place) {
    case VxHostTokenPlace::Local: return "local";
    case VxHostTokenPlace::ChildMemory: return "kind0";
    case VxHostTokenPlace::ChildMapping: return "kind1";
    }
    return "?";
}

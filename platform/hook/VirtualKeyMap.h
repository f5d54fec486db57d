#pragma once
// X key symbols -> the platform's virtual-key codes.
#include "platform/base/WinTypes.h"

#include <X11/X.h>

namespace brelin {

// The virtual-key code of a key symbol, 0 when it has none. Letters of either case give the
// letter's code; a keypad symbol gives the code of what it types (VK_NEXT for KP_Next, VK_NUMPAD3
// for KP_3), so the caller passes the symbol that the keypad's Num Lock state selects.
UINT VirtualKeyFromKeysym(KeySym keysym);

}  // namespace brelin

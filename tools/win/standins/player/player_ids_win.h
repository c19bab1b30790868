// The identity the launcher knows the player control by.
#pragma once

#include <windows.h>

namespace ravelin::standin {

// The control's class.
inline constexpr CLSID kPlayerClsid = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr wchar_t kPlayerClsidText[] = L"{D27CDB6E-AE6D-11CF-96B8-444553540000}";
// The player interface; answered with the same late-bound IDispatch.
inline constexpr IID kPlayerIid = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// The event dispinterface sinks connect to.
inline constexpr IID kPlayerEventsIid = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

}  // namespace ravelin::standin

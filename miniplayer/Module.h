// Module-wide state of the stand-in runtime: its instance handle (taken only
// from the entry point's argument: the module may be mapped by a host without
// the system loader), its class identifiers, its version and the count of live
// objects and server locks.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstdint>

namespace leafbook::miniplayer {

// {D27CDB6E-AE6D-11cf-96B8-444553540000}
inline constexpr CLSID kClsidPlayer = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6C-AE6D-11CF-96B8-444553540000}: the automation interface.
inline constexpr IID kIidAutomation = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6D-AE6D-11CF-96B8-444553540000}: the event interface.
inline constexpr IID kDiidEvents = {
    0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// Event dispids.
inline constexpr DISPID kDispidReadyStateChange = -609;
inline constexpr DISPID kDispidProgress = 1958;
inline constexpr DISPID kDispidFSCommand = 150;
inline constexpr DISPID kDispidFlashCall = 197;

HINSTANCE ModuleInstance();
void ObjectCreated();
void ObjectDestroyed();

// The build's version, one setting for the version resource and FlashVersion.
struct TModuleVersion {
  uint16_t major, minor, build, revision;
};
TModuleVersion ModuleVersion();

}  // namespace leafbook::miniplayer

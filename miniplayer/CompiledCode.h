// A runtime with a compiler writes machine code into memory and runs it. The
// stand-in does the same for one trivial function (allocate executable memory,
// write the code, flush the instruction cache, call it), so that a host which
// answers VirtualAlloc and FlushInstructionCache for the runtime sees both.
#pragma once

#include <cstdint>

namespace leafbook::miniplayer {

// value, as returned by code written at run time for it ("mov eax, value; ret").
int32_t CompiledConstant(int32_t value);
// Frees the code page; called when the module is unloaded.
void ReleaseCompiledCode();

}  // namespace leafbook::miniplayer

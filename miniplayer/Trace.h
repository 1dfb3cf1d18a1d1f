// The runtime's trace: when MINIPLAYER_TRACE names a file, one line per
// notable event is appended to it, so end-to-end tests can see what the
// runtime saw. Written through the C runtime's own file calls, so the trace
// never passes through the file functions a host may answer for the runtime.
//
// Each line reads "miniplayer <process id>: <event>"; the events are
//   object created | object destroyed | close
//   in place active <w>x<h> | in place deactivated
//   put Movie <url> | LoadMovie level <n> <url>
//   request level <n> via file <url> | request level <n> via moniker <url>
//   file route failed (<why>), trying a moniker <url>
//   request on thread <tid> (window thread <tid>), <n> in flight <url>
//                                       (one per fetch, from the thread it runs on;
//                                        n counts the requests started and not answered)
//   stopped before opening <url>        (a request held by MINIPLAYER_DELAY, at Close)
//   workers stopped <n>                 (Close or the object's end: n threads joined)
//   no worker thread, error <e>; fetched in place <url>
//   preload level <n> <url>             (a GetURL of a later frame, fetched ahead)
//   preload failed <url>: <why>         (the GetURL that asks for it fetches it again)
//   request level <n> from cache <url> | request level <n> waits for its preload <url>
//   bind started <url> | response <code> <url> | bind result 0x<hresult> <url>
//   received <bytes> bytes so far <url> | received <bytes> bytes <url>
//   loaded level <n> movie of <m> frames|image <w>x<h>|notice: <text> <url>
//   dropped <url>: <why> | superseded <url> | unloaded level <n>
//   ignored GetURL <url> target <target>
//   event ReadyState <n> | event Progress <n> | event FSCommand <command> <args>
//   event FlashCall <request>
//   frame <n> of <m> level <l>            (n counted from 1)
//   key <virtual-key code> | key up <virtual-key code> | mouse left click
//   context menu shown | about shown
//   ui activated                        (DoVerb, or the first click on the window)
//   translate accelerator 0x<message> <virtual-key code> S_OK|S_FALSE
//   called from a foreign thread: <interface::method>
//                                       (not the thread that made the object)
//   sound click | sound click skipped: <why>
//   <interface::method> failed: <what>   (an exception stopped at the boundary)
//   injected failure <interface::method>
// and a few lines that name what failed (a missing cursor or menu, a window
// or bind context that could not be made).
#pragma once

#include <string>

namespace leafbook::miniplayer {

void Trace(const std::wstring& line);
// The boundary tracer of the module (SetBoundaryTracer): a line per exception
// that reached a COM method or window procedure.
void TraceBoundaryFailure(const char* where, const char* what) noexcept;

// For tests of a host's handling of a failing runtime: true (and a trace
// line) when MINIPLAYER_FAIL names this method, "<interface>::<method>",
// which then answers E_FAIL and does nothing.
bool FailureInjected(const char* where);

// A number the environment sets for the runtime (MINIPLAYER_THREADS,
// MINIPLAYER_DELAY: see LoadQueue.h); absent when unset or not a number.
long SwitchValue(const char* name, long absent);

}  // namespace leafbook::miniplayer

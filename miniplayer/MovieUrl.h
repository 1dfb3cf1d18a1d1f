// How the stand-in runtime reads the URLs it is given: resolving a movie's
// relative URLs against the movie's own URL, and choosing the route by which a
// URL is fetched. Portable.
#pragma once

#include <optional>
#include <string>

namespace leafbook::miniplayer {

enum class TRoute {
  File,     // a drive or UNC path: the file functions (then a URL moniker if that fails)
  Moniker,  // everything else, "file:" URLs included: a URL moniker
};

TRoute RouteOf(const std::wstring& url);

// A URL with a scheme, a drive path, a UNC path or a rooted path.
bool IsAbsolute(const std::wstring& url);

// rel against base: absolute URLs stand as they are; otherwise rel follows
// base's folder (everything up to base's last "/" or "\", query and fragment
// cut off). A rooted rel ("/x") keeps base's drive or scheme and host.
std::wstring Resolve(const std::wstring& base, const std::wstring& rel);

// "_levelN" (any letter case) gives N; anything else none.
std::optional<int> LevelOfTarget(const std::wstring& target);

// "FSCommand:cmd" (prefix in any letter case) gives cmd; anything else none.
std::optional<std::wstring> FsCommandOf(const std::wstring& url);

}  // namespace leafbook::miniplayer

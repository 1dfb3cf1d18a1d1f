// URL resolution and routing of the stand-in runtime.
#include "miniplayer/MovieUrl.h"

#include <cwctype>

#include "miniplayer/NoCase.h"

namespace leafbook::miniplayer {

namespace {

bool IsSeparator(wchar_t c) {
  return c == L'/' || c == L'\\';
}

bool IsDrivePath(const std::wstring& url) {
  return url.size() >= 2 && std::iswalpha(url[0]) && url[1] == L':' &&
         (url.size() == 2 || IsSeparator(url[2]));
}

bool IsUncPath(const std::wstring& url) {
  return url.size() >= 2 && url[0] == L'\\' && url[1] == L'\\';
}

// Length of "scheme:" when the URL starts with a scheme of two or more letters.
size_t SchemeLength(const std::wstring& url) {
  size_t i = 0;
  while (i < url.size() &&
         (std::iswalnum(url[i]) || url[i] == L'+' || url[i] == L'-' || url[i] == L'.')) {
    ++i;
  }
  if (i >= 2 && i < url.size() && url[i] == L':' && std::iswalpha(url[0])) {
    return i + 1;
  }
  return 0;
}

}  // namespace

TRoute RouteOf(const std::wstring& url) {
  return IsDrivePath(url) || IsUncPath(url) ? TRoute::File : TRoute::Moniker;
}

bool IsAbsolute(const std::wstring& url) {
  return IsDrivePath(url) || IsUncPath(url) || SchemeLength(url) > 0 ||
         (!url.empty() && IsSeparator(url[0]));
}

std::wstring Resolve(const std::wstring& base, const std::wstring& rel) {
  if (base.empty()) {
    return rel;
  }
  if (!rel.empty() && IsSeparator(rel[0]) && !IsUncPath(rel)) {
    if (IsDrivePath(base)) {
      return base.substr(0, 2) + rel;
    }
    const size_t scheme = SchemeLength(base);
    if (scheme > 0 && base.compare(scheme, 2, L"//") == 0) {
      const size_t hostEnd = base.find(L'/', scheme + 2);
      return (hostEnd == std::wstring::npos ? base : base.substr(0, hostEnd)) + rel;
    }
    return rel;
  }
  if (IsAbsolute(rel)) {
    return rel;
  }
  std::wstring folder = base.substr(0, base.find_first_of(L"?#"));
  const size_t last = folder.find_last_of(L"/\\");
  if (last == std::wstring::npos) {
    return rel;
  }
  folder.resize(last + 1);
  return folder + rel;
}

std::optional<int> LevelOfTarget(const std::wstring& target) {
  static const std::wstring kLevel = L"_level";
  if (!StartsWithNoCase(target, kLevel) || target.size() == kLevel.size() ||
      target.size() > kLevel.size() + 4) {
    return std::nullopt;
  }
  int level = 0;
  for (size_t i = kLevel.size(); i < target.size(); ++i) {
    if (!std::iswdigit(target[i])) {
      return std::nullopt;
    }
    level = level * 10 + (target[i] - L'0');
  }
  return level;
}

std::optional<std::wstring> FsCommandOf(const std::wstring& url) {
  static const std::wstring kPrefix = L"FSCommand:";
  if (!StartsWithNoCase(url, kPrefix)) {
    return std::nullopt;
  }
  return url.substr(kPrefix.size());
}

}  // namespace leafbook::miniplayer

// ExeConfig.xml's text.
#include "tools/leafpack/ExeConfigText.h"

namespace leafbook::leafpack {

namespace {
// Escaped character by character, never as CDATA: a CDATA section beside
// text would make the element more than one text node.
std::string Escape(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}
}  // namespace

std::string ExeConfigText(const TWindowSettings& settings) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
         "<ExeConfig>\r\n"
         "  <ExeCaption>" +
         Escape(settings.Caption) +
         "</ExeCaption>\r\n"
         "  <WindowOpenMode>" +
         std::to_string(static_cast<int32_t>(settings.OpenMode)) +
         "</WindowOpenMode>\r\n"
         "  <WindowOpenWidth>" +
         std::to_string(settings.Width) +
         "</WindowOpenWidth>\r\n"
         "  <WindowOpenHeight>" +
         std::to_string(settings.Height) +
         "</WindowOpenHeight>\r\n"
         "</ExeConfig>\r\n";
}

}  // namespace leafbook::leafpack

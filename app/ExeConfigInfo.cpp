// Reading "ExeConfig.xml" through MSXML's DOM: the parser detects the
// encoding from the declaration or byte-order mark; external entities and DTD
// validation are off, since the file comes from a package.
#include "app/ExeConfigInfo.h"

#include <windows.h>
#include <msxml2.h>

#include <cwctype>
#include <vector>

#include "framework/base/AnsiText.h"
#include "framework/base/ComPtr.h"
#include "framework/base/Exceptions.h"
#include "framework/base/OleCheck.h"
#include "framework/base/Resources.h"

namespace leafbook {

namespace {

// A BSTR owned for the length of a scope.
class TBstr {
 public:
  TBstr() = default;
  ~TBstr() { ::SysFreeString(value_); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  BSTR* Put() { return &value_; }
  std::wstring Text() const { return value_ ? std::wstring(value_, ::SysStringLen(value_)) : L""; }

 private:
  BSTR value_ = nullptr;
};

std::wstring NodeName(IXMLDOMNode* node) {
  TBstr name;
  OleCheck(node->get_nodeName(name.Put()), "IXMLDOMNode.nodeName");
  return name.Text();
}

// The first child element of parent named name (exact case).
TComPtr<IXMLDOMNode> ChildElement(IXMLDOMNode* parent, const std::wstring& name) {
  TComPtr<IXMLDOMNodeList> children;
  OleCheck(parent->get_childNodes(children.Put()), "IXMLDOMNode.childNodes");
  long count = 0;
  OleCheck(children->get_length(&count), "IXMLDOMNodeList.length");
  for (long i = 0; i < count; ++i) {
    TComPtr<IXMLDOMNode> child;
    OleCheck(children->get_item(i, child.Put()), "IXMLDOMNodeList.item");
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT && NodeName(child.Get()) == name) {
      return child;
    }
  }
  throw Exception("ExeConfig.xml: element " + WideToAnsi(name) + " not found");
}

// The text of an element that holds nothing or a single text node.
std::wstring ElementText(IXMLDOMNode* parent, const std::wstring& name) {
  TComPtr<IXMLDOMNode> element = ChildElement(parent, name);
  TComPtr<IXMLDOMNodeList> children;
  OleCheck(element->get_childNodes(children.Put()), "IXMLDOMNode.childNodes");
  long count = 0;
  OleCheck(children->get_length(&count), "IXMLDOMNodeList.length");
  if (count == 0) {
    return L"";
  }
  TComPtr<IXMLDOMNode> only;
  OleCheck(children->get_item(0, only.Put()), "IXMLDOMNodeList.item");
  DOMNodeType type = NODE_INVALID;
  only->get_nodeType(&type);
  if (count != 1 || (type != NODE_TEXT && type != NODE_CDATA_SECTION)) {
    throw Exception("ExeConfig.xml: element " + WideToAnsi(name) + " holds more than a text");
  }
  TVariant value;
  OleCheck(only->get_nodeValue(value.Put()), "IXMLDOMNode.nodeValue");
  const VARIANT& held = *value.Get();
  return held.vt == VT_BSTR && held.bstrVal
             ? std::wstring(held.bstrVal, ::SysStringLen(held.bstrVal))
             : L"";
}

TComPtr<IStream> StreamCopy(TStream& stream) {
  const int64_t size = stream.GetSize();
  if (size > 64 << 20) {
    throw Exception("ExeConfig.xml: too large");
  }
  TOwnedHGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size > 0 ? size : 1)));
  if (!memory) {
    throw Exception("ExeConfig.xml: out of memory");
  }
  {
    const TGlobalLock bytes(memory.Get());
    stream.SetPosition(0);
    stream.ReadBuffer(bytes.Get(), static_cast<int32_t>(size));
  }
  TComPtr<IStream> result;
  OleCheck(::CreateStreamOnHGlobal(memory.Get(), TRUE, result.Put()), "CreateStreamOnHGlobal");
  // The stream frees the memory from here on.
  memory.Release();
  ULARGE_INTEGER length;
  length.QuadPart = static_cast<ULONGLONG>(size);
  result->SetSize(length);
  return result;
}

}  // namespace

int32_t SettingToInt(const std::wstring& text, int32_t fallback) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::iswspace(text[first])) {
    ++first;
  }
  while (last > first && std::iswspace(text[last - 1])) {
    --last;
  }
  size_t i = first;
  bool negative = false;
  if (i < last && (text[i] == L'-' || text[i] == L'+')) {
    negative = text[i] == L'-';
    ++i;
  }
  if (i == last) {
    return fallback;
  }
  int64_t magnitude = 0;
  for (; i < last; ++i) {
    if (text[i] < L'0' || text[i] > L'9') {
      return fallback;
    }
    magnitude = magnitude * 10 + (text[i] - L'0');
    if (magnitude > 2147483648LL) {
      return fallback;
    }
  }
  const int64_t value = negative ? -magnitude : magnitude;
  return value > INT32_MAX ? fallback : static_cast<int32_t>(value);
}

void TExeConfigInfo::LoadFromStream(TStream& stream) {
  CLSID documentClass;
  OleCheck(::CLSIDFromProgID(L"Msxml2.DOMDocument", &documentClass), "CLSIDFromProgID");
  TComPtr<IXMLDOMDocument> document;
  OleCheck(::CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              document.PutVoid()),
           "CoCreateInstance(Msxml2.DOMDocument)");
  document->put_async(VARIANT_FALSE);
  document->put_validateOnParse(VARIANT_FALSE);
  document->put_resolveExternals(VARIANT_FALSE);

  TComPtr<IStream> source = StreamCopy(stream);
  VARIANT input;
  ::VariantInit(&input);
  input.vt = VT_UNKNOWN;
  input.punkVal = source.Get();  // borrowed: the variant is not cleared
  VARIANT_BOOL loaded = VARIANT_FALSE;
  HRESULT hr = document->load(input, &loaded);
  if (FAILED(hr) || loaded != VARIANT_TRUE) {
    throw Exception("ExeConfig.xml does not parse");
  }

  TComPtr<IXMLDOMElement> root;
  if (FAILED(document->get_documentElement(root.Put())) || !root) {
    throw Exception("ExeConfig.xml has no document element");
  }
  IXMLDOMNode* config = root.Get();  // an element is a node
  if (NodeName(config) != L"ExeConfig") {
    throw Exception("ExeConfig.xml: the document element is not ExeConfig");
  }
  Caption = WideToAnsi(ElementText(config, L"ExeCaption"));
  OpenMode = SettingToInt(ElementText(config, L"WindowOpenMode"), 2);
  OpenWidth = SettingToInt(ElementText(config, L"WindowOpenWidth"), 800);
  OpenHeight = SettingToInt(ElementText(config, L"WindowOpenHeight"), 600);
}

}  // namespace leafbook

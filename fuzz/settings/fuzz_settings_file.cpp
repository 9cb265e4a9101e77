// Reads arbitrary bytes as a settings file. Whatever is accepted must
// survive the program's own rewrite: the written text reads back to the same
// document, and a value the program sets reads back as set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "configtool/platform/settings_store.h"

namespace {

const std::string kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Lumora";

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    size_t extra;
    uint32_t cp;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      cp = lead & 0x07;
    } else {
      return false;
    }
    for (size_t k = 1; k <= extra; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += 1 + extra;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // One value's data on its own.
  if (auto value = k470::ParseRegData(bytes)) {
    // A text that is not UTF-8, or holds a NUL, cannot go through the
    // UTF-16 of the hex forms unchanged; it still must read back as a value.
    bool comparable = IsValidUtf8(value->text) && value->text.find('\0') == std::string::npos;
    std::string line = k470::FormatRegValueLine("v", *value);
    auto again = k470::ParseRegData(std::string_view(line).substr(4));
    Check(again.has_value());
    if (comparable) Check(*again == *value);
  }

  // The whole file.
  auto doc = k470::RegDocument::Parse(bytes);
  if (!doc) return 0;
  std::string written = doc->Serialize();
  auto reread = k470::RegDocument::Parse(written);
  Check(reread.has_value());
  Check(reread->Serialize() == written);
  for (const char* name : {"ComPort", "defaultProductName", "ExtraPorts"}) {
    Check(reread->Find(kKey, name) == doc->Find(kKey, name));
  }

  // A write of the program's own values.
  auto before = doc->Find(kKey, "defaultVendorName");
  doc->Set(kKey, "ComPort", k470::RegValue::Dword(static_cast<uint32_t>(size)));
  auto after = k470::RegDocument::Parse(doc->Serialize());
  Check(after.has_value());
  Check(after->Find(kKey, "ComPort") == k470::RegValue::Dword(static_cast<uint32_t>(size)));
  Check(after->Find(kKey, "defaultVendorName") == before);
  return 0;
}

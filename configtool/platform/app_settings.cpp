#include "configtool/platform/app_settings.h"

#include "configtool/platform/text.h"
#include "configtool/res/string_table.h"

namespace k470 {

uint32_t StoredPortNumber(bool storedFlag, std::string_view portName) {
  if (!storedFlag) return 0;
  // Four characters as the program counts them: single-byte characters.
  std::string name = Utf8ToCp1252(portName);
  if (name.size() != 4) return 0;
  char fourth = name[3];
  return (fourth >= '0' && fourth <= '9') ? static_cast<uint32_t>(fourth - '0') : 0;
}

std::vector<RegUpdate> StoredPortValues(bool storedFlag, std::string_view portName) {
  // Further values saved on apply belong in this list, so they reach the
  // file in the same rewrite as "ComPort".
  return {RegUpdate{LoadString(IDS_REG_COM_PORT), RegValue::Dword(StoredPortNumber(storedFlag, portName))},
          RegUpdate{LoadString(IDS_REG_COM_PORT_NAME),
                    RegValue::String(storedFlag ? std::string(portName) : std::string())}};
}

void CAppSettings::ReadRegString(uint32_t keyStringId, uint32_t valueStringId, uint32_t defaultStringId,
                                 std::string& text, size_t maxBytes) const {
  auto value = store_.Query(LoadString(keyStringId), LoadString(valueStringId));
  if (value && value->type == REG_SZ && Utf8ToCp1252(value->text).size() + 1 <= maxBytes) {
    text = value->text;
    return;
  }
  text = LoadString(defaultStringId);
}

StoredPort CAppSettings::LoadStoredPort() const {
  StoredPort port;
  auto value = store_.Query(LoadString(IDS_REG_KEY), LoadString(IDS_REG_COM_PORT));
  uint32_t n = (value && value->type == REG_DWORD) ? value->number : 0;
  port.noDetection = n != 0;
  if (n != 0) port.portName = Format("COM%u", n);
  return port;
}

std::string CAppSettings::LoadStoredPortName() const {
  auto value = store_.Query(LoadString(IDS_REG_KEY), LoadString(IDS_REG_COM_PORT_NAME));
  return (value && value->type == REG_SZ) ? value->text : std::string();
}

bool CAppSettings::SaveStoredPort(bool storedFlag, std::string_view portName) {
  return store_.Write(LoadString(IDS_REG_KEY), StoredPortValues(storedFlag, portName));
}

DefaultNames CAppSettings::LoadDefaultNames() const {
  DefaultNames names;
  names.port = LoadStoredPort();
  if (std::string name = LoadStoredPortName(); !name.empty()) {
    names.port.noDetection = true;
    names.port.portName = name;
  }
  ReadRegString(IDS_REG_KEY, IDS_REG_DEFAULT_PRODUCT_NAME, IDS_DEFAULT_PRODUCT_NAME, names.productName);
  ReadRegString(IDS_REG_KEY, IDS_REG_DEFAULT_VENDOR_NAME, IDS_DEFAULT_VENDOR_NAME, names.vendorName);
  ReadRegString(IDS_REG_KEY, IDS_REG_DEFAULT_DEVICE_NAME, IDS_DEFAULT_DEVICE_NAME, names.deviceName);
  ReadRegString(IDS_REG_KEY, IDS_REG_DEFAULT_DEVICE_NAME_USB, IDS_DEFAULT_DEVICE_NAME_USB, names.deviceNameUsb);
  return names;
}

std::string CAppSettings::LoadExtraPorts() const {
  auto value = store_.Query(LoadString(IDS_REG_KEY), LoadString(IDS_REG_EXTRA_PORTS));
  return (value && value->type == REG_SZ) ? value->text : std::string();
}

}  // namespace k470

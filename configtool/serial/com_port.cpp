#include "configtool/serial/com_port.h"

#include <algorithm>
#include <cstring>

#include "configtool/platform/messages.h"

namespace k470 {

CComPort::CComPort(IHost& host, ISerialSystem& system) : host_(host), system_(system) {
  ResetPortInfo();
  EnumeratePorts();
}

CComPort::~CComPort() {
  listener_ = nullptr;
  Close(true);
  portNames_.clear();
}

void CComPort::EnumeratePorts() { portNames_ = system_.EnumeratePorts(); }

void CComPort::ResetPortInfo() {
  state_ = LINK_IDLE;
  currentPort_.clear();
}

int CComPort::IndexOfCurrentPort() const {
  auto it = std::find(portNames_.begin(), portNames_.end(), currentPort_);
  return it == portNames_.end() ? -1 : static_cast<int>(it - portNames_.begin());
}

bool CComPort::Open(const std::string& name) {
  Close(true);
  currentPort_ = name;
  lastFailure_ = OpenFailure{};
  line_ = system_.Open(name, lastFailure_);
  if (!line_) {
    // A port in use or forbidden to us is still a port that exists; any
    // other failure leaves the state as it was.
    if (lastFailure_.error == OpenError::NotFound || lastFailure_.error == OpenError::AccessDenied ||
        lastFailure_.error == OpenError::InUse) {
      state_ = LINK_NO_PORT;
    }
    return false;
  }
  if (Configure() && ProbeStation() && line_->StartReader(this)) {
    state_ = LINK_OPEN;
    if (listener_) listener_->OnPortOpened();
    return true;
  }
  Close(false);
  return false;
}

bool CComPort::Configure() { return line_ && line_->Configure(); }

bool CComPort::ProbeStation() {
  // The adapter recognises the PC by this pattern on DTR and RTS and answers
  // with DSR and CTS.
  line_->SetDtr(true);
  line_->SetRts(false);
  host_.Sleep(200);
  line_->SetDtr(false);
  host_.Sleep(200);
  for (int i = 0; i < 5; ++i) {
    line_->SetRts(true);
    host_.Sleep(100);
    line_->SetRts(false);
    host_.Sleep(100);
  }
  line_->SetRts(true);
  line_->SetDtr(true);
  host_.Sleep(300);

  uint32_t status = 0;
  if (!line_->GetModemStatus(status) || (status & MS_DSR_ON) == 0) {
    state_ = LINK_NO_STATION;
    return false;
  }
  line_->SetRts(true);
  status = 0;
  if (!line_->GetModemStatus(status) || (status & MS_CTS_ON) == 0) {
    state_ = LINK_NO_STATION;
    return false;
  }
  if (!line_->SetHandshake(true)) return false;
  host_.Sleep(500);
  return true;
}

bool CComPort::Close(bool reset) {
  if (!line_) return true;
  line_->PauseReader();
  line_->SetHandshake(false);
  line_->SetRts(false);
  line_->SetDtr(false);
  line_->Purge();
  line_->Close();
  line_.reset();
  // Nothing received before the close may be delivered after it.
  rxQueue_.RemoveAll();
  host_.Sleep(20);
  if (reset) ResetPortInfo();
  if (listener_) listener_->OnPortClosed();
  return true;
}

bool CComPort::OpenFirstAvailable(int startIndex) {
  size_t start = static_cast<size_t>(std::max(startIndex, 0));
  if (start >= portNames_.size()) {
    ResetPortInfo();
    return false;
  }
  LinkState summary = LINK_NO_PORT;
  for (size_t i = start; i < portNames_.size(); ++i) {
    // Copy: Open resets the port info, and the name lives in the list.
    std::string name = portNames_[i];
    bool opened = Open(name);
    if (state_ == LINK_NO_STATION) summary = LINK_NO_STATION;
    if (opened) return true;
  }
  state_ = summary;
  currentPort_.clear();
  return false;
}

bool CComPort::IsDsrOn() {
  uint32_t status = 0;
  return line_ && line_->GetModemStatus(status) && (status & MS_DSR_ON) != 0;
}

bool CComPort::Write(const std::string& text) {
  if (!line_) return false;
  WriteResult result = line_->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return result != WriteResult::Failed;
}

void CComPort::OnReceived(const uint8_t* data, size_t length) {
  auto block = std::make_unique<RxBlock>(static_cast<uint32_t>(length));
  if (!block->data) return;
  std::memcpy(block->data.get(), data, length);
  rxQueue_.Push(std::move(block));
  host_.PostThreadMessage(WM_SERIAL_RECEIVED, 0, 0);
}

void CComPort::DeliverReceived() {
  while (!rxQueue_.IsEmpty()) {
    std::unique_ptr<RxBlock> block = rxQueue_.Pop();
    if (block && block->data && listener_) listener_->OnReceive(block->data.get(), block->length);
  }
}

}  // namespace k470

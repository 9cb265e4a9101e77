#include "configtool/protocol/at_channel.h"

#include <array>
#include <cstring>

#include "configtool/platform/messages.h"
#include "configtool/platform/text.h"
#include "configtool/protocol/reply_rules.h"
#include "configtool/res/string_table.h"

namespace k470 {
namespace {

constexpr char kNul = 0;
constexpr char kBackspace = 8;
constexpr char kLineFeed = 10;
constexpr char kCarriageReturn = 13;

// Bytes that need more than appending.
constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> table{};
  table[static_cast<unsigned char>(kNul)] = true;
  table[static_cast<unsigned char>(kBackspace)] = true;
  table[static_cast<unsigned char>(kLineFeed)] = true;
  table[static_cast<unsigned char>(kCarriageReturn)] = true;
  return table;
}();

}  // namespace

CAtChannel::CAtChannel(IHost& host, const TargetId& ownerWnd, CComPort* port)
    : host_(host), ownerWnd_(ownerWnd), port_(port) {
  if (port_ != nullptr) port_->SetListener(this);
}

CAtChannel::~CAtChannel() {
  // The port lives longer than the channel; it must not call into us.
  if (port_ != nullptr) port_->SetListener(nullptr);
}

bool CAtChannel::SendCommand(IAtSession* requester, const std::string& line) {
  return SendLine(requester, line) == SendStatus::Written;
}

CAtChannel::SendStatus CAtChannel::SendLine(IAtSession* requester, const std::string& line) {
  if (port_ == nullptr || requester == nullptr || requester_ != nullptr || line.empty()) return SendStatus::Refused;
  requester_ = requester;
  lastLine_ = line;
  buffer_.clear();
  awaitingEcho_ = true;
  echoSeen_ = false;
  retriesLeft_ = 2;
  return port_->Write(line) ? SendStatus::Written : SendStatus::WriteFailed;
}

bool CAtChannel::Interrupt(IAtSession* requester) {
  if (requester == nullptr || requester_ != requester) return false;
  requester_ = nullptr;
  SendLine(requester, std::string(1, kCarriageReturn));
  return true;
}

void CAtChannel::Abandon(IAtSession* requester) {
  if (requester_ == requester) requester_ = nullptr;
}

bool CAtChannel::QuoteResultWord(std::string& text, int mode) { return k470::QuoteResultWord(text, mode); }

bool CAtChannel::IsDsrOn() { return port_ != nullptr && port_->IsDsrOn(); }

void CAtChannel::OnPortOpened() {
  requester_ = nullptr;
  PostRefreshPort();
  if (session_ != nullptr) session_->StartDetection();
}

void CAtChannel::OnPortClosed() {
  PostRefreshPort();
  if (session_ != nullptr) session_->ResetSession();
}

void CAtChannel::PostRefreshPort() { host_.Post(ownerWnd_, WM_REFRESH_VIEWS, REFRESH_PORT, 0); }

void CAtChannel::OnReceive(const uint8_t* bytes, uint32_t count) {
  if (!traceDecided_) {
    traceOn_ = host_.CommandLine().find("v24trace") != std::string::npos;
    traceDecided_ = true;
  }
  if (receiveDepth_ > 0) {
    // A reply handler further up is inside a message box, whose loop
    // delivers the next blocks. Taking them now would put them in front of
    // the rest of the block that is being handled; keep them for later.
    deferred_.append(reinterpret_cast<const char*>(bytes), count);
    if (deferred_.size() > kBufferLimit) deferred_.erase(0, deferred_.size() - kBufferKeep);
    return;
  }
  ++receiveDepth_;
  ReceiveBlock(bytes, count);
  while (!deferred_.empty()) {
    std::string next;
    next.swap(deferred_);
    ReceiveBlock(reinterpret_cast<const uint8_t*>(next.data()), next.size());
  }
  --receiveDepth_;
}

void CAtChannel::ReceiveBlock(const uint8_t* bytes, size_t count) {
  size_t i = 0;
  while (i < count) {
    // Ordinary characters are taken a run at a time; nothing in between
    // them can call out of the channel.
    size_t end = i;
    while (end < count && !kSpecial[bytes[end]]) ++end;
    if (end > i) {
      if (traceOn_ && session_ != nullptr) {
        for (size_t k = i; k < end; ++k) session_->OnTraceChar(static_cast<char>(bytes[k]));
      }
      Append(reinterpret_cast<const char*>(bytes + i), end - i);
      i = end;
      continue;
    }
    char c = static_cast<char>(bytes[i++]);
    if (traceOn_ && session_ != nullptr) session_->OnTraceChar(c);
    switch (c) {
      case kNul:
      case kLineFeed:
        // Line feeds are the adapter's decoration; the reply text is
        // separated by CR alone.
        break;
      case kBackspace:
        if (!buffer_.empty()) buffer_.pop_back();
        break;
      default:  // CR
        Append(&kCarriageReturn, 1);
        OnCarriageReturn();
        break;
    }
  }
}

void CAtChannel::Append(const char* data, size_t length) {
  buffer_.append(data, length);
  if (buffer_.size() <= kBufferLimit) return;
  // The same bytes remain as if each had been appended alone and the buffer
  // cut to its last kBufferKeep bytes whenever it grew past the limit, so
  // how the line happened to split the bytes into blocks does not matter.
  size_t over = buffer_.size() - (kBufferLimit + 1);
  size_t keep = kBufferKeep + over % (kBufferLimit + 1 - kBufferKeep);
  buffer_.erase(0, buffer_.size() - keep);
}

bool CAtChannel::BufferHoldsEcho() const {
  // Every CR that arrives while the echo is awaited is tested, so an echo
  // that ends with CR can only have been completed by the CR just taken.
  if (!lastLine_.empty() && lastLine_.back() == kCarriageReturn) {
    return buffer_.size() >= lastLine_.size() &&
           std::memcmp(buffer_.data() + buffer_.size() - lastLine_.size(), lastLine_.data(), lastLine_.size()) == 0;
  }
  return buffer_.find(lastLine_) != std::string::npos;
}

void CAtChannel::OnCarriageReturn() {
  // A CR that starts a reply is kept: the result word needs the CR in front
  // of it.
  if (buffer_.size() == 1) return;
  if (awaitingEcho_) {
    echoSeen_ = BufferHoldsEcho();
    if (echoSeen_) {
      awaitingEcho_ = false;
      buffer_.assign(1, kCarriageReturn);
      return;
    }
    // No echo: the line may still be an answer that came without one.
  }
  // Each CR is tested, and every word ends with another letter, so a result
  // pattern can only end at this CR.
  uint32_t code = ResultCodeAtEnd(buffer_);
  if (code == 0) return;
  size_t patternLength = std::strlen(FindString(code)) + 2;
  // Keep what came before the word, including the CR in front of it.
  buffer_.resize(buffer_.size() - patternLength + 1);
  size_t lead = 0;
  while (lead < buffer_.size() && IsSpace(buffer_[lead])) ++lead;
  buffer_.erase(0, lead);
  Complete(code);
}

void CAtChannel::Complete(uint32_t code) {
  if (requester_ == nullptr) return;
  if (echoSeen_) {
    IAtSession* requester = requester_;
    requester_ = nullptr;
    if (code == IDS_RESULT_OK) {
      requester->OnCommandOk(std::string(buffer_));
    } else {
      requester->OnCommandError(code);
    }
  } else if (retriesLeft_ > 0) {
    // The adapter answered without echoing: the line was probably garbled on
    // the way, so it goes out again.
    --retriesLeft_;
    if (port_ != nullptr) port_->Write(lastLine_);
  } else {
    IAtSession* requester = requester_;
    requester_ = nullptr;
    requester->OnCommandError(0);
  }
}

}  // namespace k470

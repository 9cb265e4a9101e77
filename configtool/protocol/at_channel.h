// CAtChannel: one command line at a time between the station session and
// the serial port. It writes the line, turns the characters that come back
// into reply text, checks that the adapter echoed the line, recognises the
// final result word, resends a line whose answer came without echo, and
// hands the outcome to the session. It also relays the port's opened and
// closed notices to the session.
//
// Everything runs on the user-interface thread. Received bytes come from
// CComPort::DeliverReceived; the channel is the port's IPortListener.
#pragma once

#include <cstdint>
#include <string>

#include "configtool/platform/host.h"
#include "configtool/serial/com_port.h"

namespace k470 {

// What the channel needs of the session: the reply handlers of the command
// it is waiting for, the port notices and the trace. CStationSession is the
// one implementation; the channel's own tests use small fakes.
class IAtSession {
 public:
  // The adapter answered the line with OK; text is the information reply
  // (Windows-1252 bytes: lines separated by CR, leading white space gone).
  virtual void OnCommandOk(const std::string& text) = 0;
  // Any other result code (string-table id of the word), or 0 for no valid
  // answer (no echo after the resends, a time-out, an unreadable reply).
  virtual void OnCommandError(uint32_t code) = 0;
  virtual void StartDetection() = 0;
  virtual void ResetSession() = 0;
  // One received byte, before the channel interprets it ("v24trace").
  virtual void OnTraceChar(char c) = 0;

 protected:
  ~IAtSession() = default;
};

class CAtChannel : private IPortListener {
 public:
  // What SendLine did with a line.
  enum class SendStatus {
    Refused,      // no port, a requester already waits, or an empty line
    Written,      // handed to the port
    WriteFailed,  // the port refused the bytes; the requester is set all the same
  };

  // ownerWnd is a reference to the sheet's window handle, read at every
  // post, so the channel can exist before the sheet's window does. Registers
  // itself as the port's listener when a port is given.
  CAtChannel(IHost& host, const TargetId& ownerWnd, CComPort* port);
  virtual ~CAtChannel();
  CAtChannel(const CAtChannel&) = delete;
  CAtChannel& operator=(const CAtChannel&) = delete;

  void SetSession(IAtSession* session) { session_ = session; }

  // Starts one command line for requester; false unless it was written.
  bool SendCommand(IAtSession* requester, const std::string& line);
  // The same with the reason; the session needs to tell a line that could
  // not be written (it then waits for the time-out as for a silent adapter)
  // from a channel that is busy.
  SendStatus SendLine(IAtSession* requester, const std::string& line);

  // Received bytes, interpreted one by one.
  void OnReceive(const uint8_t* bytes, uint32_t count) override;

  // If requester is the one waiting: drop it and send a bare CR on its
  // behalf (the adapter's way of cancelling a running procedure), so it
  // waits for the answer to that CR. False otherwise.
  bool Interrupt(IAtSession* requester);
  // If requester is the one waiting: drop it without sending anything.
  void Abandon(IAtSession* requester);

  // Mode 1 quotes a result word, mode 2 unquotes it (QuoteResultWord).
  virtual bool QuoteResultWord(std::string& text, int mode);

  bool IsDsrOn();

  // ---- state, for the session and for tests ----
  IAtSession* GetRequester() const { return requester_; }
  bool IsIdle() const { return requester_ == nullptr; }
  bool IsAwaitingEcho() const { return awaitingEcho_; }
  bool EchoSeen() const { return echoSeen_; }
  int RetriesLeft() const { return retriesLeft_; }
  const std::string& LastLine() const { return lastLine_; }
  const std::string& Buffer() const { return buffer_; }
  // Whether received bytes go to the trace; decided from the command line at
  // the first received byte (-1 until then). Tests may decide again.
  int TraceDecision() const { return traceDecided_ ? (traceOn_ ? 1 : 0) : -1; }
  void ResetTraceDecision() { traceDecided_ = false; }

  // A reply buffer that grows past this is cut to its last kBufferKeep
  // bytes. No real reply comes near it: a reply starts with an empty buffer
  // after its echo. The tail kept still holds any echo or result word in
  // progress.
  static constexpr size_t kBufferLimit = 64 * 1024;
  static constexpr size_t kBufferKeep = 4 * 1024;

 private:
  // IPortListener
  void OnPortOpened() override;
  void OnPortClosed() override;

  void ReceiveBlock(const uint8_t* bytes, size_t count);
  void OnCarriageReturn();
  void Complete(uint32_t code);
  void Append(const char* data, size_t length);
  bool BufferHoldsEcho() const;
  void PostRefreshPort();

  IHost& host_;
  const TargetId& ownerWnd_;
  IAtSession* session_ = nullptr;
  CComPort* port_ = nullptr;
  int32_t retriesLeft_ = 2;
  bool awaitingEcho_ = false;
  bool echoSeen_ = false;
  IAtSession* requester_ = nullptr;
  std::string lastLine_;
  std::string buffer_;

  bool traceDecided_ = false;
  bool traceOn_ = false;
  // Bytes that arrive while a reply handler below OnReceive runs a modal
  // loop (a message box); they are taken in order once it returns.
  int receiveDepth_ = 0;
  std::string deferred_;
};

}  // namespace k470

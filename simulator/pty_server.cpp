#include "simulator/pty_server.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

namespace k470::sim {
namespace {

template <typename F>
auto RetryEintr(F call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

std::string Describe(const char* what) { return std::string(what) + ": " + strerror(errno); }

}  // namespace

PtyServer::~PtyServer() {
  if (master_ >= 0) close(master_);
}

bool PtyServer::Open(std::string& error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) {
    error = Describe("posix_openpt");
    return false;
  }
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
    error = Describe("grantpt/unlockpt");
    return false;
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    error = Describe("ptsname_r");
    return false;
  }
  slavePath_ = name;
  // Packet mode: the master also hears of the slave's purges, which the
  // program does when it configures the port after opening it.
  int on = 1;
  if (ioctl(master_, TIOCPKT, &on) != 0) {
    error = Describe("TIOCPKT");
    return false;
  }
  int slave = RetryEintr([&] { return open(name, O_RDWR | O_NOCTTY | O_CLOEXEC); });
  if (slave < 0) {
    error = Describe("open of the slave");
    return false;
  }
  termios tio{};
  bool ok = tcgetattr(slave, &tio) == 0;
  if (ok) {
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tio.c_cflag |= CLOCAL | CREAD;
    ok = tcsetattr(slave, TCSANOW, &tio) == 0;
  }
  if (!ok) error = Describe("raw settings of the slave");
  // Closing it again marks the master as hung up until the program opens
  // the slave: that is how the server sees the program arrive.
  close(slave);
  return ok;
}

short PtyServer::MasterEvents() const {
  if (master_ < 0 || !slaveOpen_) return 0;
  return static_cast<short>(POLLIN | (output_.empty() ? 0 : POLLOUT));
}

void PtyServer::CheckSlave() {
  if (master_ < 0 || slaveOpen_) return;
  pollfd p{master_, POLLIN, 0};
  if (RetryEintr([&] { return poll(&p, 1, 0); }) < 0) return;
  if ((p.revents & POLLHUP) == 0) SlaveOpened();
}

void PtyServer::OnMasterEvents(short revents) {
  if (!slaveOpen_) return;
  if (revents & POLLIN) {
    char buffer[4096];
    for (;;) {
      // In packet mode each read is one packet: a zero byte and data, or a
      // byte of status bits.
      ssize_t n = RetryEintr([&] { return read(master_, buffer, sizeof buffer); });
      if (n > 1 && buffer[0] == TIOCPKT_DATA) {
        bytesIn_ += static_cast<size_t>(n - 1);
        if (engine_) engine_->HostBytes(reinterpret_cast<const uint8_t*>(buffer + 1), static_cast<size_t>(n - 1));
        continue;
      }
      if (n == 1 && (buffer[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) == (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) {
        Purged();
        continue;
      }
      if (n > 0) continue;
      // EIO: the slave has gone (the hang-up may come with the last data).
      if (n < 0 && errno == EIO) {
        SlaveClosed();
        return;
      }
      break;
    }
  }
  if (revents & POLLOUT) Flush();
  if (revents & (POLLHUP | POLLERR)) SlaveClosed();
}

void PtyServer::Transmit(std::string_view bytes) {
  if (!slaveOpen_) return;
  output_.append(bytes);
  Flush();
}

void PtyServer::Flush() {
  while (!output_.empty() && slaveOpen_) {
    ssize_t n = RetryEintr([&] { return write(master_, output_.data(), output_.size()); });
    if (n > 0) {
      bytesOut_ += static_cast<size_t>(n);
      output_.erase(0, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EIO) SlaveClosed();
    // EAGAIN: the program reads slowly; the loop waits for POLLOUT.
    return;
  }
}

void PtyServer::SlaveOpened() {
  slaveOpen_ = true;
  if (engine_) {
    engine_->HostOpen(true);
    // No DTR on a pseudo-terminal: opening the slave is the probe.
    engine_->HostLines(true, true);
  }
}

void PtyServer::Purged() {
  // The program purges both directions when it configures the port it has
  // just opened. Taken as a probe, this finds the program even when it
  // closed and reopened the terminal faster than the loop saw the hang-up.
  // (It purges before closing too; an adapter that is then found in its
  // configuration state by nobody does no harm.)
  if (!slaveOpen_ || !engine_) return;
  engine_->HostLines(false, false);
  engine_->HostLines(true, true);
}

void PtyServer::SlaveClosed() {
  if (!slaveOpen_) return;
  slaveOpen_ = false;
  output_.clear();
  if (engine_) {
    engine_->HostLines(false, false);
    engine_->HostOpen(false);
  }
}

}  // namespace k470::sim

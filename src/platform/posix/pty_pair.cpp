#include "posix/pty_pair.h"

#include <fcntl.h>
#include <stdlib.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "posix/syscalls.h"
#include "posix/termios_setup.h"

namespace vqx {
namespace {

bool Failed(std::string* error, const char* step, int err) {
  if (error != nullptr) {
    *error = std::string(step) + ": " + std::generic_category().message(err);
  }
  return false;
}

}  // namespace

PtyPair::~PtyPair() { Close(); }

PtyPair::PtyPair(PtyPair&& other) noexcept
    : master_(std::exchange(other.master_, -1)),
      slaveHold_(std::exchange(other.slaveHold_, -1)),
      slavePath_(std::move(other.slavePath_)) {
  other.slavePath_.clear();
}

PtyPair& PtyPair::operator=(PtyPair&& other) noexcept {
  if (this != &other) {
    Close();
    master_ = std::exchange(other.master_, -1);
    slaveHold_ = std::exchange(other.slaveHold_, -1);
    slavePath_ = std::move(other.slavePath_);
    other.slavePath_.clear();
  }
  return *this;
}

bool PtyPair::Create(std::string* error) {
  Close();
  posix::SysCalls& sys = posix::RealSysCalls();

  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) {
    return Failed(error, "posix_openpt", errno);
  }
  char name[128] = {};
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    const int err = errno;
    Close();
    return Failed(error, "grantpt/unlockpt", err);
  }
  const int nameErr = ::ptsname_r(master_, name, sizeof name);
  if (nameErr != 0) {
    Close();
    return Failed(error, "ptsname_r", nameErr);
  }
  slavePath_ = name;

  slaveHold_ = sys.Open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveHold_ < 0) {
    const int err = errno;
    Close();
    return Failed(error, "open slave", err);
  }
  termios attributes{};
  if (sys.TcGetAttr(slaveHold_, &attributes) != 0) {
    const int err = errno;
    Close();
    return Failed(error, "tcgetattr slave", err);
  }
  posix::MakeRaw(attributes);
  if (sys.TcSetAttr(slaveHold_, TCSANOW, &attributes) != 0) {
    const int err = errno;
    Close();
    return Failed(error, "tcsetattr slave", err);
  }
  return true;
}

void PtyPair::Close() {
  posix::SysCalls& sys = posix::RealSysCalls();
  if (slaveHold_ >= 0) {
    sys.Close(slaveHold_);
    slaveHold_ = -1;
  }
  if (master_ >= 0) {
    sys.Close(master_);
    master_ = -1;
  }
  slavePath_.clear();
}

}  // namespace vqx

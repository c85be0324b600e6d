#pragma once

#include <string>

namespace vqx {

// A pseudo-terminal pair: the master side plays the unit, the slave device node
// (/dev/pts/N) is what the utility opens as its serial port.
// The slave is put in raw mode at creation and one descriptor of it is held open,
// so bytes pass 8-bit clean and the master never sees a hang-up while the utility
// closes and reopens the port.
class PtyPair {
 public:
  PtyPair() = default;
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  PtyPair(PtyPair&& other) noexcept;
  PtyPair& operator=(PtyPair&& other) noexcept;

  // Returns false and fills *error with a readable reason on failure.
  bool Create(std::string* error);

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  bool IsOpen() const { return master_ >= 0; }

  // Closes both held descriptors: to the utility this is a serial adapter pulled out.
  void Close();

 private:
  int master_ = -1;
  int slaveHold_ = -1;
  std::string slavePath_;
};

}  // namespace vqx

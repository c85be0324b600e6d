#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "port/serial_port.h"

namespace vqx {

// The system's serial port as the programs get it: a device of this machine, or a unit
// behind a serial device server when the name is an rfc2217:// or socket:// URL. The
// choice is made at each Open, by the name. Both ports live as long as this one, so a
// thread that still polls the port of the last Open never touches a freed one.
class PortByName final : public ISerialPort {
 public:
  using Factory = std::function<std::unique_ptr<ISerialPort>()>;
  PortByName(Factory local, Factory network);

  PortOpenResult Open(const char* name, const LineSettings& settings) override;
  void Close() override;
  int32_t QueuedBytes() override { return active_.load()->QueuedBytes(); }
  bool ReadByte(uint8_t& byte) override { return active_.load()->ReadByte(byte); }
  size_t Write(const uint8_t* data, size_t size) override { return active_.load()->Write(data, size); }
  bool Drain(uint32_t limitMs) override { return active_.load()->Drain(limitMs); }
  bool ChangeLineSettings(const LineSettings& settings) override {
    return active_.load()->ChangeLineSettings(settings);
  }

 private:
  std::mutex openMutex_;
  Factory makeNetwork_;
  std::unique_ptr<ISerialPort> local_;
  std::unique_ptr<ISerialPort> network_;
  std::atomic<ISerialPort*> active_;
};

// How long a network port waits to connect: VQX_CONNECT_TIMEOUT (seconds, 1 to 60) when
// set to such a number, else 5 s.
uint32_t NetworkConnectTimeoutMs();

}  // namespace vqx

#include "posix/termios_setup.h"

#include <cstddef>

namespace vqx::posix {
namespace {

struct BaudEntry {
  int32_t rate;
  speed_t speed;
};

constexpr BaudEntry kBaudTable[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
};

// Flags outside POSIX that still have to be off for a clean raw line where they exist.
#ifdef CRTSCTS
constexpr tcflag_t kHardwareFlow = CRTSCTS;
#else
constexpr tcflag_t kHardwareFlow = 0;
#endif
#ifdef CMSPAR
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;
#endif
#ifdef IUCLC
constexpr tcflag_t kUpperToLower = IUCLC;
#else
constexpr tcflag_t kUpperToLower = 0;
#endif

}  // namespace

void MakeRaw(termios& attributes) {
  attributes.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK |
                                               ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                               IXANY | kUpperToLower);
  attributes.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR | OCRNL | ONOCR | ONLRET);
  attributes.c_lflag &=
      ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  attributes.c_cflag &=
      ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | kHardwareFlow | kStickParity);
  attributes.c_cflag |= static_cast<tcflag_t>(CS8 | CLOCAL | CREAD);
  attributes.c_cc[VMIN] = 1;
  attributes.c_cc[VTIME] = 0;
}

bool IsRaw(const termios& attributes) {
  return (attributes.c_lflag & static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
         (attributes.c_iflag & static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | ISTRIP | IXON |
                                                     IXOFF | PARMRK)) == 0 &&
         (attributes.c_oflag & static_cast<tcflag_t>(OPOST)) == 0 &&
         (attributes.c_cflag & static_cast<tcflag_t>(CREAD)) != 0 &&
         attributes.c_cc[VMIN] == 1 && attributes.c_cc[VTIME] == 0;
}

bool ApplyLineSettings(termios& attributes, const LineSettings& settings) {
  attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | kStickParity);
  attributes.c_cflag |= static_cast<tcflag_t>(settings.dataBits == 7 ? CS7 : CS8);
  if (settings.parity == 'E') {
    attributes.c_cflag |= static_cast<tcflag_t>(PARENB);
  } else if (settings.parity == 'O') {
    attributes.c_cflag |= static_cast<tcflag_t>(PARENB | PARODD);
  }
  if (settings.stopBits == 2) {
    attributes.c_cflag |= static_cast<tcflag_t>(CSTOPB);
  }
  speed_t speed = 0;
  if (!SpeedForBaud(settings.baudRate, &speed)) {
    return false;
  }
  cfsetispeed(&attributes, speed);
  cfsetospeed(&attributes, speed);
  return true;
}

LineSettings LineOfAttributes(const termios& attributes) {
  LineSettings line;
  line.baudRate = 0;
  const speed_t speed = cfgetospeed(&attributes);
  for (const BaudEntry& entry : kBaudTable) {
    if (entry.speed == speed) line.baudRate = entry.rate;
  }
  line.dataBits = (attributes.c_cflag & CSIZE) == CS7 ? 7 : 8;
  if ((attributes.c_cflag & PARENB) == 0) {
    line.parity = 'N';
  } else {
    line.parity = (attributes.c_cflag & PARODD) != 0 ? 'O' : 'E';
  }
  line.stopBits = (attributes.c_cflag & CSTOPB) != 0 ? 2 : 1;
  return line;
}

bool SpeedForBaud(int32_t baudRate, speed_t* speed) {
  for (const BaudEntry& entry : kBaudTable) {
    if (entry.rate == baudRate) {
      *speed = entry.speed;
      return true;
    }
  }
  return false;
}

}  // namespace vqx::posix

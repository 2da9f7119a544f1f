// The first parallel port through Linux's ppdev driver (/dev/parport0): the data, status and
// control registers are written and read with the driver's requests, so no direct port access
// (and no root) is needed, only the right to open the device.
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/desktop.h"

namespace navelo {
namespace {

class PpdevPort final : public ParallelPort {
 public:
  ~PpdevPort() override {
    if (fd_ >= 0) {
      ioctl(fd_, PPRELEASE);
      close(fd_);
    }
  }

  bool Open(std::string& reason) override {
    if (fd_ >= 0) return true;
    // NAVELO_PARPORT names another device, for a machine with more than one port.
    const char* named = std::getenv("NAVELO_PARPORT");
    const std::string device = named && *named ? named : "/dev/parport0";
    const int fd = open(device.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      reason = "Porta paralela não disponível: " +
               (errno == EACCES || errno == EPERM ? "sem permissão para usar " + device
                                                   : device + " não existe") + ".";
      return false;
    }
    if (ioctl(fd, PPCLAIM) != 0) {
      reason = "Porta paralela não disponível: " + device + " está em uso por outro programa.";
      close(fd);
      return false;
    }
    fd_ = fd;
    return true;
  }

  void Out(int port, uint8_t byte) override {
    if (fd_ < 0) return;
    unsigned char value = byte;
    if (port == 888) ioctl(fd_, PPWDATA, &value);
    if (port == 890) ioctl(fd_, PPWCONTROL, &value);
  }

  uint8_t In(int port) override {
    unsigned char value = 0;
    if (fd_ < 0) return 0;
    if (port == 888) ioctl(fd_, PPRDATA, &value);
    if (port == 889) ioctl(fd_, PPRSTATUS, &value);
    if (port == 890) ioctl(fd_, PPRCONTROL, &value);
    return value;
  }

 private:
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<ParallelPort> MakeParallelPort() { return std::make_unique<PpdevPort>(); }

}  // namespace navelo

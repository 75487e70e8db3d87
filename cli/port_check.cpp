#include "port_check.h"

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "port_access.h"

namespace termina::cli {

PortDiagnosis diagnosePort(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    switch (e) {
      case ENOENT:
      case ENXIO:
      case ENODEV:
      case ENOTDIR:
        return {PortProblem::Missing, e};
      case EACCES:
      case EPERM:
        return {PortProblem::NoPermission, e};
      case EBUSY:  // the terminal is in exclusive mode (TIOCEXCL) for another program
        return {PortProblem::Busy, e};
      default:
        return {PortProblem::Other, e};
    }
  }
  PortDiagnosis d{PortProblem::None, 0};
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    d = {PortProblem::NotTerminal, errno};
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    d = {errno == EWOULDBLOCK ? PortProblem::Busy : PortProblem::Other, errno};
  }
  ::close(fd);  // releases the lock too
  return d;
}

std::string explainPort(const std::string& device, const PortDiagnosis& d) {
  switch (d.problem) {
    case PortProblem::Missing:
      return "Устройство " + device + " не существует: проверьте номер порта (--port) и подключение регистратора.";
    case PortProblem::NoPermission:
      return app::PortPermissionText(device);
    case PortProblem::Busy:
      return "Устройство " + device + " занято другой программой.";
    case PortProblem::NotTerminal:
      return device + " не является последовательным портом.";
    case PortProblem::Other:
      return "Устройство " + device + " не открывается: " + std::strerror(d.error) + ".";
    case PortProblem::None:
      break;
  }
  return "Устройство " + device + " сейчас открывается; вероятно, оно было временно занято.";
}

}  // namespace termina::cli

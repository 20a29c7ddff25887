#include "live/serial_source.h"

#include <QFile>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QString>

namespace packscope {
namespace {

class SerialSource : public ByteSource {
 public:
  SerialSource(const std::string& device, std::int32_t baud) : device_(device), baud_(baud) {}

  std::string Name() const override { return device_; }

  bool Open(std::string& error) override {
    Close();
    port_.setPortName(QString::fromLocal8Bit(device_.c_str()));
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.setBaudRate(baud_) || !port_.open(QIODevice::ReadOnly)) {
      error = port_.errorString().toLocal8Bit().toStdString();
      port_.close();
      return false;
    }
    return true;
  }

  std::ptrdiff_t Read(std::span<std::uint8_t> buffer, int timeout_ms, std::string& error) override {
    if (!port_.isOpen()) {
      error = "not open";
      return -1;
    }
    if (port_.bytesAvailable() == 0 && !port_.waitForReadyRead(timeout_ms)) {
      const QSerialPort::SerialPortError e = port_.error();
      if (e == QSerialPort::NoError || e == QSerialPort::TimeoutError) {
        port_.clearError();
        return 0;
      }
      return Lost(error);
    }
    const qint64 n =
        port_.read(reinterpret_cast<char*>(buffer.data()), static_cast<qint64>(buffer.size()));
    if (n < 0) return Lost(error);
    return static_cast<std::ptrdiff_t>(n);
  }

  void Close() override {
    if (port_.isOpen()) port_.close();
    port_.clearError();
  }

 private:
  std::ptrdiff_t Lost(std::string& error) {
    // A read that returns nothing (the device unplugged, the other end of a pseudo-terminal
    // closed) comes as a ReadError with a stale system message: not worth showing.
    error = port_.error() == QSerialPort::ResourceError || port_.error() == QSerialPort::ReadError
                ? "the device was unplugged or closed"
                : port_.errorString().toLocal8Bit().toStdString();
    Close();
    return -1;
  }

  std::string device_;
  std::int32_t baud_;
  QSerialPort port_;
};

}  // namespace

std::unique_ptr<ByteSource> MakeSerialSource(const std::string& device, std::int32_t baud) {
  return std::make_unique<SerialSource>(device, baud);
}

std::vector<std::string> SerialDevices() {
  std::vector<std::string> devices;
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
    devices.push_back(QFile::encodeName(port.systemLocation()).toStdString());
  }
  return devices;
}

}  // namespace packscope

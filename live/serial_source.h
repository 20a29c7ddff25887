// A serial KISS TNC (/dev/ttyUSB0, /dev/ttyACM0, ...) as a ByteSource, through Qt Serial Port:
// 8 data bits, no parity, one stop bit, no flow control, at the given speed. A device that
// disappears (unplugged) is a lost connection; the recorder opens it again when it is back.
// The Qt edge of live/: its own library, so that the rest of live/ stays free of Qt.
#ifndef PACKSCOPE_LIVE_SERIAL_SOURCE_H_
#define PACKSCOPE_LIVE_SERIAL_SOURCE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "live/byte_source.h"

namespace packscope {

// Needs a QCoreApplication. The source belongs to the thread that makes it: a recording on a
// thread of its own makes it there.
std::unique_ptr<ByteSource> MakeSerialSource(const std::string& device, std::int32_t baud);

// The serial ports the system has now, as device paths ("/dev/ttyUSB0"), for a choice.
std::vector<std::string> SerialDevices();

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_SERIAL_SOURCE_H_

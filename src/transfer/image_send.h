// The device image send ("&Send Velmar File...") as a configuration of the
// transfer engine: "=L", the header's last five characters, records of nine
// digits, success letter "L".
#pragma once

#include "transfer_engine.h"

namespace plovan::image {

SenderConfig serialSender();
// The USB route: the same start and header, records of eleven bytes, no verdict.
SenderConfig usbSender();
// The USB bench test (Command57): records as on the serial route, with their
// line end and no pause, each reply read by the runner after its write.
SenderConfig usbTestSender();

} // namespace plovan::image

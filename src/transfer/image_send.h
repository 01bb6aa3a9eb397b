// The device image send ("&Send Velmar File...") as a configuration of the
// transfer engine: "=L", the header's last five characters, records of nine
// digits, success letter "L".
#pragma once

#include "transfer_engine.h"

namespace plovan::image {

SenderConfig serialSender();
// The USB route: the same start and header, records of eleven bytes, no verdict.
SenderConfig usbSender();

} // namespace plovan::image

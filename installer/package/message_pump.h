// Long loops (CRC, stream copy, per-file work) let pending window messages through between
// chunks. The portable code calls PumpMessages(); the Windows program installs the pump.
#pragma once

namespace hollin {

using MessagePumpFunction = void (*)();
void SetMessagePump(MessagePumpFunction pump);
void PumpMessages();

}  // namespace hollin

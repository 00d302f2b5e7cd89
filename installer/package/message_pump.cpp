#include "installer/package/message_pump.h"

namespace hollin {
namespace {
MessagePumpFunction g_pump = nullptr;
}

void SetMessagePump(MessagePumpFunction pump) { g_pump = pump; }

void PumpMessages() {
  if (g_pump) g_pump();
}

}  // namespace hollin

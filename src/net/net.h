// Network observation: the incoming-packet and incoming-RPC hooks.
#pragma once

#include "SAMPFUNCS_API.h"

#include <cstdint>

// The player the local player spectates; -1 for none.
extern int16_t spectateTarget;

bool CALLBACK onIncomingRpc(stRakNetHookParams *params);

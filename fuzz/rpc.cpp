// The incoming-RPC hook on arbitrary RPCs, 126 and 124 most of the time.
// Invariants: the hook lets every RPC pass, and only RPC 126 (any value) and
// RPC 124 (only to "none") change the spectate target.
#include "fuzz_plugin.h"

#include "net/net.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    startPluginOnce();
    Input in(data, size);
    while (!in.empty()) {
        uint8_t selector = in.byte();
        int id = selector % 4 == 0 ? 126 : selector % 4 == 1 ? 124 : in.byte();
        const uint8_t *params = nullptr;
        size_t length = in.take(in.byte() % 8, &params);
        uint32_t bits = static_cast<uint32_t>(length * 8);
        if (length > 0 && (selector & 0x80))
            bits -= selector & 7; // a stream that ends inside its last byte

        int16_t before = spectateTarget;
        FUZZ_CHECK(host::deliverRpc(id, params, bits));
        if (id != 126 && id != 124)
            FUZZ_CHECK(spectateTarget == before);
        if (id == 124)
            FUZZ_CHECK(spectateTarget == before || spectateTarget == -1);
    }
    host::clearEffects();
    return 0;
}

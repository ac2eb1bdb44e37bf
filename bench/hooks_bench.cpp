// The plugin's hot paths, each driven through the stand-in host as the game
// drives it, with the heap allocations each call makes:
//
//   SyncPacketHook   the packet hook on a realistic mix of player-sync packets
//   SyncPacketFloor  the bare reads of the same packets' fields (floor.h)
//   PacketDelivery/sync  the host handing the same packets to a hook that
//                    returns at once: what every hook pays before it starts
//   OtherPacketHook  the packet hook on packets of other identifiers
//   PacketDelivery/other  the same for those packets
//   RpcHook/...      the RPC hook on RPC 126, RPC 124 and other RPCs
//   RenderVisible    a render pass that draws the key column (eight rows)
//   RenderVisibleFloor  the host calls such a pass makes, made directly
//   RenderEmpty      a render pass with nothing to draw
//   MainLoop         the main loop after start-up
//
// `scripts/bench.sh` runs them in a Release build and writes the figures.
#include "alloc_count.h"
#include "floor.h"
#include "packet_mix.h"
#include "scene.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

// Allocations over the timed loop, reported per call.
class AllocationsPerCall {
  public:
    AllocationsPerCall() : start_(bench::allocationCount()) {}
    void report(benchmark::State &state) const {
        state.counters["allocs/call"] =
            benchmark::Counter(static_cast<double>(bench::allocationCount() - start_),
                               benchmark::Counter::kAvgIterations);
    }

  private:
    uint64_t start_;
};

// Set when a benchmark could not run as it should; the binary then exits
// with 1, so that the test run's brief pass of every benchmark fails.
bool anyFailed = false;

void fail(benchmark::State &state, const std::string &why) {
    anyFailed = true;
    state.SkipWithError(why.c_str());
}

size_t chatLines() {
    size_t n = 0;
    for (const host::Effect &e : host::effects())
        n += std::holds_alternative<host::ChatLine>(e);
    return n;
}

// The mix's suspect packets must be what the plugin calls suspect: a run
// of them posts a warning on the fifth suspect one. (The run's first packet
// is the player's first since load and so is not suspect.)
std::string checkSuspectRun() {
    const uint16_t stranger = 999; // not one of the mix's players
    std::vector<host::Packet> run = bench::suspectRun(stranger, 6);
    host::clearEffects();
    for (size_t i = 0; i < run.size(); i++) {
        host::deliverPacket(run[i].bytes.data(), run[i].bitCount, run[i].bytes[0]);
        size_t expected = i + 1 == run.size() ? 1 : 0;
        if (chatLines() != expected)
            return "a run of the mix's suspect packets did not post the warning on its fifth "
                   "suspect packet";
    }
    host::clearEffects();
    return "";
}

void deliverMix(const bench::PacketMix &mix, int times) {
    for (int t = 0; t < times; t++)
        for (const bench::WirePacket &p : mix.packets)
            bench::deliver(p);
}

// The timed loop over a mix: one packet per iteration, round and round.
void runMix(benchmark::State &state, const bench::PacketMix &mix) {
    const size_t mask = mix.packets.size() - 1;
    size_t i = 0;
    AllocationsPerCall allocations;
    for (auto _ : state) {
        bench::deliver(mix.packets[i]);
        i = (i + 1) & mask;
    }
    allocations.report(state);
    state.SetItemsProcessed(state.iterations());
}

std::string describeMix(const bench::PacketMix &mix) {
    double n = static_cast<double>(mix.packets.size()) / 100.0;
    char text[200];
    std::snprintf(text, sizeof text,
                  "%zu packets: %.0f%% suspect, %.0f%% spectated, %.0f%% moving, %.0f%% "
                  "leftRight, %.0f%% upDown, %.0f%% animation, %.0f%% surfing, %.0f%% jumping",
                  mix.packets.size(), mix.suspect / n, mix.spectated / n, mix.moving / n,
                  mix.withLeftRight / n, mix.withUpDown / n, mix.withAnimation / n, mix.surfing / n,
                  mix.jumping / n);
    return text;
}

void SyncPacketHook(benchmark::State &state) {
    bench::StartedPlugin scene;
    if (!scene.error.empty()) {
        fail(state, scene.error);
        return;
    }
    std::string failure = checkSuspectRun();
    if (!failure.empty()) {
        fail(state, failure);
        return;
    }
    bench::spectate(bench::spectatedPlayer);
    bench::PacketMix mix = bench::syncPacketMix();
    deliverMix(mix, 2); // every player seen, so every later packet is recent
    if (chatLines() != 0) {
        fail(state, "the mix posted a warning");
        return;
    }
    runMix(state, mix);
    if (chatLines() != 0)
        fail(state, "the mix posted a warning while timed");
    state.SetLabel(describeMix(mix));
}

void SyncPacketFloor(benchmark::State &state) {
    bench::GameFolder folder;
    bench::installFloorHook();
    bench::PacketMix mix = bench::syncPacketMix();
    // The floor must read each packet to its last bit, no more, no less.
    for (const bench::WirePacket &p : mix.packets) {
        BitStream stream(p.data, p.bitCount);
        bench::RawSyncFields fields;
        if (!bench::readRawSyncFields(stream, fields) || stream.GetReadOffset() != p.bitCount) {
            fail(state, "the floor does not read the mix's packets whole");
            return;
        }
    }
    deliverMix(mix, 2);
    runMix(state, mix);
}

// The same mixes handed to a hook that returns at once.
void PacketDelivery(benchmark::State &state, bench::PacketMix (*makeMix)()) {
    bench::GameFolder folder;
    bench::installPassingHook();
    bench::PacketMix mix = makeMix();
    deliverMix(mix, 2);
    runMix(state, mix);
}

void OtherPacketHook(benchmark::State &state) {
    bench::StartedPlugin scene;
    if (!scene.error.empty()) {
        fail(state, scene.error);
        return;
    }
    bench::spectate(bench::spectatedPlayer);
    bench::PacketMix mix = bench::otherPacketMix();
    deliverMix(mix, 2);
    runMix(state, mix);
}

void rpcBenchmark(benchmark::State &state, int rpcId, std::vector<unsigned char> params) {
    bench::StartedPlugin scene;
    if (!scene.error.empty()) {
        fail(state, scene.error);
        return;
    }
    const uint32_t bits = static_cast<uint32_t>(params.size() * 8);
    host::deliverRpc(rpcId, params.data(), bits);
    AllocationsPerCall allocations;
    for (auto _ : state)
        host::deliverRpc(rpcId, params.data(), bits);
    allocations.report(state);
    state.SetItemsProcessed(state.iterations());
}

void RpcSpectate(benchmark::State &state) { rpcBenchmark(state, 126, {7, 0}); }
void RpcEndSpectating(benchmark::State &state) { rpcBenchmark(state, 124, {0, 0, 0, 0}); }
// A chat message from the server (RPC 93): colour, length, text.
void RpcOther(benchmark::State &state) {
    std::vector<unsigned char> params = {0xFF, 0xFF, 0xFF, 0xFF, 24, 0, 0, 0};
    for (char c : std::string("Welcome to the server!!!"))
        params.push_back(static_cast<unsigned char>(c));
    rpcBenchmark(state, 93, params);
}

// Render passes: the host records what is drawn, so its log is emptied
// now and then outside the timing; it keeps its capacity, so recording
// allocates nothing once the first batch has been drawn.
template <typename Pass> void renderBenchmark(benchmark::State &state, Pass pass) {
    const int batch = 256;
    for (int i = 0; i < batch; i++)
        pass();
    host::clearEffects();
    int n = 0;
    AllocationsPerCall allocations;
    for (auto _ : state) {
        pass();
        if (++n == batch) {
            state.PauseTiming();
            host::clearEffects();
            n = 0;
            state.ResumeTiming();
        }
    }
    allocations.report(state);
    state.SetItemsProcessed(state.iterations());
}

void RenderVisible(benchmark::State &state) {
    bench::StartedPlugin scene;
    if (!scene.error.empty()) {
        fail(state, scene.error);
        return;
    }
    bench::spectate(bench::spectatedPlayer);
    host::clearEffects();
    host::runRenderHook();
    if (host::effects().size() != 8) {
        fail(state, "the spectating pass did not draw eight rows");
        return;
    }
    renderBenchmark(state, host::runRenderHook);
}

// The host calls that a visible pass must make, made straight from here:
// what the render hook costs at the least, the host's recording included.
void RenderVisibleFloor(benchmark::State &state) {
    bench::GameFolder folder;
    host::reset();
    SAMPFUNCS framework;
    stFontInfo *font = framework.getRender()->CreateNewFont("Tahoma", 11, 5);
    // The column's labels, top to bottom; the first two are "ЛКМ" and "ПКМ".
    const char *labels[8] = {"\xCB\xCA\xCC", "\xCF\xCA\xCC", "C",   "SPRINT",
                             "JUMP",         "ALT",          "TAB", "F"};
    const rect<float> noClip = {0.0f, 0.0f, 0.0f, 0.0f};
    auto pass = [&] {
        SFRender *render = framework.getRender();
        if (render->BeginRender() < 0)
            return;
        if (render->CanDraw() && !framework.getGame()->isGTAMenuActive()) {
            float y = 0.0f;
            for (int row = 0; row < 8; row++) {
                if (row > 0)
                    y += font->DrawHeight() + 1.0f;
                font->PrintShadow(labels[row], 0xFFFF4444, 0.0f, y, false, false, noClip);
            }
        }
        render->EndRender();
    };
    renderBenchmark(state, pass);
}

void RenderEmpty(benchmark::State &state) {
    bench::StartedPlugin scene;
    if (!scene.error.empty()) {
        fail(state, scene.error);
        return;
    }
    host::runRenderHook();
    if (!host::effects().empty()) {
        fail(state, "the pass drew although nobody is spectated");
        return;
    }
    renderBenchmark(state, host::runRenderHook);
}

void MainLoop(benchmark::State &state) {
    bench::StartedPlugin scene;
    if (!scene.error.empty()) {
        fail(state, scene.error);
        return;
    }
    AllocationsPerCall allocations;
    for (auto _ : state)
        host::runMainLoop();
    allocations.report(state);
    state.SetItemsProcessed(state.iterations());
}

// The hook and its floor next to each other, so that both see the same
// machine at nearly the same moment.
BENCHMARK(SyncPacketHook);
BENCHMARK(SyncPacketFloor);
BENCHMARK_CAPTURE(PacketDelivery, sync, bench::syncPacketMix);
BENCHMARK(OtherPacketHook);
BENCHMARK_CAPTURE(PacketDelivery, other, bench::otherPacketMix);
BENCHMARK(RpcSpectate)->Name("RpcHook/126");
BENCHMARK(RpcEndSpectating)->Name("RpcHook/124");
BENCHMARK(RpcOther)->Name("RpcHook/other");
BENCHMARK(RenderVisible);
BENCHMARK(RenderVisibleFloor);
BENCHMARK(RenderEmpty);
BENCHMARK(MainLoop);

// The counts above mean something only if the host library's allocations
// reach this binary's counter.
bool allocationsAreCounted() {
    host::Effect chat = host::ChatLine{0, std::string(64, 'x')};
    uint64_t before = bench::allocationCount();
    std::string line = host::describe(chat); // builds its text inside the host library
    return bench::allocationCount() > before && !line.empty();
}

} // namespace

int main(int argc, char **argv) {
    if (!allocationsAreCounted()) {
        std::fprintf(stderr, "error: the host library's allocations are not counted\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return anyFailed ? 1 : 0;
}

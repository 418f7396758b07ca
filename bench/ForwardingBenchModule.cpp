#include "bench/ForwardingBenchModule.h"

#include "Logging/Shared/Client/src/CallTracing.h"
#include "bench/BenchStatements.h"

void forwardingBenchInfo(int64_t i) { quorvane::bench::infoStatement(i); }

void forwardingBenchSixteenDisabled(uint64_t i) { quorvane::bench::sixteenDisabledStatements(i); }

void forwardingBenchSyncTracing() { quorvane::kestro::logging::SyncTracing trace("open"); }

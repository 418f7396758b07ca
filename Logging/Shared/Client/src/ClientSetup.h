#pragma once

// The logging client's set-up: what linking kestro_client gives a module.
//
// While the module loads (a static initialiser, so before the host can call
// anything in it), the set-up, in this order:
//   1. finds the category "trace" in the module's logger database and keeps it
//      for call tracing (CallTracing.h);
//   2. registers ForwardingLogHandlerFactory ("kestroForward") with the
//      database, replacing any factory of that type;
//   3. registers mirrorCoreConfig as a configuration-changed trigger in
//      logcore;
//   4. runs mirrorCoreConfig once, so the module forwards to logcore from then
//      on at logcore's levels (before initLogging: INFO and above, which logcore
//      writes to standard error);
//   5. arranges for the trigger's removal when the module is unloaded or the
//      process exits, before the module's database releases its handlers, so
//      that logcore never calls into a module that is gone.
//
// Errors: the set-up catches whatever it throws. The module then loads without
// forwarding (its trigger is removed again, and its database keeps its own
// default configuration, INFO and above to standard error), and one line goes
// to standard error:
//   "logging client set-up failed, messages of this module are not forwarded
//   to logcore: " + the error's description (type name, ": ", message)
// Loading never aborts the host.
//
// The set-up is compiled into every module that links kestro_client (not
// taken from the static library, where the linker would drop it as
// unreferenced).

namespace quorvane::kestro::logging {

// Whether the set-up completed, so that the module forwards to logcore.
bool clientForwardsToCore();

}  // namespace quorvane::kestro::logging

#pragma once

// CrashHandler: while logging is initialised, a fatal signal (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE, SIGABRT) on any thread first writes out what every
// asynchronous writer of the core library has accepted, then the crash report
// on the main channel (CrashReport.h: the signal, process, thread and a
// backtrace of the crashing thread), and then lets the signal take its course.
//
// Its course: the disposition found at installation is put back and the
// signal goes on to it. A fault (si_code > 0) returns, so the instruction runs
// again and faults into that disposition; a signal that was sent (kill, raise,
// abort) is raised again. A handler installed before ours (a crash reporter)
// therefore runs after ours, and without one the process ends by the default
// action: the exit status shows the signal and a core dump is made where the
// limits allow.
//
// Never a hang:
//   - nothing is taken that the crashing thread may hold: the writers are
//     found through the lock-free CrashFlushRegistry, each writer's mutex is
//     only tried (250 ms at most; then its queue is read as it stands), the
//     lines are written with plain write calls, the report is built in a fixed
//     buffer, and nothing allocates;
//   - waits (for a writer's mutex, for a batch a writer thread is writing) end
//     at a deadline 2 s after the signal; a write that blocks longer is cut
//     short by SIGALRM 4 s after the signal, whose handler sends the fatal
//     signal on to its disposition;
//   - a fatal signal inside our own work (same thread) goes straight on to its
//     disposition; one on another thread while a report is being written
//     waits (bounded) for that report, then goes on to its disposition.
//
// A fault in code that belongs to no loaded module (code made at run time,
// such as WebAssembly, whose engine may recover from its own faults) is handed
// to a previous handler first, when there is one.
//
// An alternate signal stack is set up for the thread that installs the
// handler (when it has none), so that a stack overflow on that thread is
// reported too; other threads' overflows are not.
//
// Thread safety: installCrashHandler and removeCrashHandler are called from
// one thread at a time (initLogging, deinitLogging).

namespace quorvane::kestro::logging {

// Installs the handler for the five signals; again after removal. Installing
// twice does nothing.
void installCrashHandler();

// Puts back the dispositions found at installation, for each signal whose
// handler is still ours.
void removeCrashHandler();

}  // namespace quorvane::kestro::logging

#pragma once

// QUORVANE_USERNOTIFICATIONS_API marks what libusernotifications exports: the
// interface classes, the process-wide functions and the simulated centre. The
// project builds with hidden visibility, and the library's export list
// (usernotifications.map) keeps everything else, the standard library's
// template instances included, local to it.

#define QUORVANE_USERNOTIFICATIONS_API __attribute__((visibility("default")))

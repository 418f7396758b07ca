// The levels the layouts write, as letters, names and ranks.
//
// A rank is the lowest level value a letter stands for, so that "at this level
// and above" compares ranks. The main layout writes one letter per range
// (V below INFO, I, W, E, C, F); the sync and rtc layout writes letters for a
// few exact values (V: DBG numbered 1, S: INFO numbered 3, A: INFO numbered 2
// and 1, W, E) and U for every other value, which in those channels is nearly
// always DBG or INFO: U ranks as INFO. Their CRITICAL messages also reach the
// main log, where they read C.
'use strict';

const kDbg = 1000;
const kInfo = 2000;
const kInfo3 = 2996;
const kInfo2 = 2997;
const kWarn = 3000;
const kErr = 4000;
const kCritical = 5000;
const kFatal = 0x7ffffffe;

// Main layout (and the framework's glog layout): letter -> [rank, name].
const kMainLetters = {
  V: [kDbg, 'VERBOSE'], I: [kInfo, 'INFO'], W: [kWarn, 'WARNING'],
  E: [kErr, 'ERROR'], C: [kCritical, 'CRITICAL'], F: [kFatal, 'FATAL'],
};

// Sync and rtc layout: letter -> [rank, name].
const kTagLetters = {
  V: [kDbg, 'VERBOSE'], S: [kInfo3, 'INFO'], A: [kInfo2, 'INFO'], W: [kWarn, 'WARNING'],
  E: [kErr, 'ERROR'], U: [kInfo, 'INFO'],
};

// Trace events are DBG messages.
const kTraceLevel = [kDbg, 'VERBOSE'];

// What --level accepts, case-insensitively: every letter and name above, the
// core's own level names, or a level value in decimal.
const kThresholds = {
  V: kDbg, VERBOSE: kDbg, DBG: kDbg, DEBUG: kDbg,
  I: kInfo, INFO: kInfo, S: kInfo3, A: kInfo2,
  W: kWarn, WARN: kWarn, WARNING: kWarn,
  E: kErr, ERR: kErr, ERROR: kErr,
  C: kCritical, CRITICAL: kCritical,
  F: kFatal, FATAL: kFatal, DFATAL: kFatal,
};

// The rank a --level value stands for, or undefined when it names no level.
function thresholdRank(text) {
  if (/^\d+$/.test(text)) return Number(text);
  return kThresholds[text.toUpperCase()];
}

module.exports = { kMainLetters, kTagLetters, kTraceLevel, thresholdRank };

// The filter a record passes: level, category, time window and text.
//
// Drop reports pass the level, category and text filters, so that a filtered
// view still tells where lines are missing; lines no layout reads pass the
// level and category filters (nothing is known of them) but not the others.
'use strict';
const { tagMatchesPrefix } = require('./layouts');

// The category filter: the main and trace layouts carry no category, so their
// lines never match; sync and rtc lines match when their tag could belong to
// a category that starts with one of the prefixes.
function categoryTest(prefixes) {
  return (record) => {
    const tag = record.tag;
    if (tag === undefined) return false;
    return prefixes.some((prefix) => tagMatchesPrefix(prefix, record.source.channel, tag));
  };
}

// `options`: {rank (or null), categories (latin1 strings, or null), since,
// until (microseconds or null), grep (latin1 text or null)}.
function recordFilter({ rank, categories, since, until, grep }) {
  const inCategory = categories === null ? null : categoryTest(categories);
  return (record) => {
    if (since !== null && record.time < since) return false;
    if (until !== null && record.time > until) return false;
    if (record.kind === 'drop') return true;
    if (grep !== null && !record.contains(grep)) return false;
    if (record.kind === 'unparsed') return true;
    if (rank !== null && record.rank < rank) return false;
    return inCategory === null || inCategory(record);
  };
}

module.exports = { recordFilter };

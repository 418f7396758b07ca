// The JavaScript half of logcontrol's loggers; compiled into logcontrol.node
// as text and run once in every environment that loads the module (the main
// thread and each worker). Its value is a function that takes the native half
// (JsLogger.cpp) and returns getLogger.
//
//   const log = getLogger('app.ui', { callSite: true });
//   log.info('window opened');
//   log.warn('slow frame', { ms: 48, frame });   // text, ' ', then JSON
//   if (log.isEnabled('DBG')) log.dbg(expensiveDump());
//   const net = log.child('net');                 // category app.ui.net
//
// A method whose level the core drops returns after one typed-array read and
// a compare: the core's effective level of every logger category lives in
// native memory shared with this environment (LoggerLevels.h), written on
// every configuration change. An enabled call builds the line here and hands
// it to native code once.
(function makeGetLogger(native) {
  'use strict';

  const DBG = 1000;
  const INFO = 2000;
  const WARN = 3000;
  const ERR = 4000;
  const CRITICAL = 5000;
  const MAX_LEVEL_NUMBER = 4294967295;
  // Nested objects and arrays deeper than this are written as "[Too deep]".
  const MAX_DEPTH = 64;
  // JSON longer than this many characters ends in "[Too long]".
  const MAX_JSON_LENGTH = 1 << 20;

  // The layer's type error, as native arguments get it.
  function typeError(value, expected) {
    const kind = value === null ? 'null' : typeof value;
    return new TypeError(`Received: "${kind}" but expected: "${expected}"`);
  }

  // ---------------------------------------------------------------------------
  // Levels.

  // The native half's answer for each category name given (a child logger
  // made per request costs a lookup here).
  const boundCategories = new Map();
  // Level pages of this environment, by page number; made on first use.
  const pages = [];
  // Level names already read, with their numbers.
  const levelNumbers = new Map();

  function levelNumber(level) {
    if (typeof level === 'number' && Number.isInteger(level) && level >= 0 &&
        level <= MAX_LEVEL_NUMBER) {
      return level;
    }
    if (typeof level === 'string') {
      const known = levelNumbers.get(level);
      if (known !== undefined) return known;
      const number = native.levelOf(level);  // throws the parser's error
      levelNumbers.set(level, number);
      return number;
    }
    return native.levelOf(level);  // throws the layer's error for this value
  }

  // ---------------------------------------------------------------------------
  // The second argument as JSON: what JSON.stringify writes, except that an
  // error given as the argument itself is written as an object of its name,
  // message and stack followed by its own enumerable properties. When
  // JSON.stringify throws (a BigInt, a cycle, a getter, toJSON or proxy trap
  // that throws, nesting past the engine's stack), `walk` writes the same text
  // with those parts replaced: BigInts by strings of their digits, the repeat
  // of an object that contains itself by "[Circular]", what threw by
  // "[Thrown: <what was thrown>]", nesting past MAX_DEPTH by "[Too deep]".
  // Values JSON cannot write (undefined, functions, symbols) are left out of
  // objects and written as null elsewhere. A text past MAX_JSON_LENGTH (an
  // array of a billion holes, say) is written by `walk` too, whose arrays and
  // objects end with "[Too long]" once that much has been written.

  function errorFields(error) {
    return { name: error.name, message: error.message, stack: error.stack, ...error };
  }

  function thrown(error) {
    let text;
    try {
      text = String(error);
    } catch {
      text = 'a value that cannot be shown';
    }
    return JSON.stringify(`[Thrown: ${text}]`);
  }

  // JSON.stringify's algorithm (SerializeJSONProperty), guarded at each step.
  function walk(root) {
    const ancestors = [];
    let room = MAX_JSON_LENGTH;  // characters left before the rest is left out
    const counted = (text) => {
      room -= text.length;
      return text;
    };
    function serialize(holder, key, depth) {
      let value;
      try {
        value = holder[key];
        if (depth === 0 && value instanceof Error) {
          value = errorFields(value);
        } else if (value !== null && (typeof value === 'object' || typeof value === 'bigint') &&
                   typeof value.toJSON === 'function') {
          value = value.toJSON(key);
        }
        if (value instanceof Number) value = Number(value);
        else if (value instanceof String) value = String(value);
        else if (value instanceof Boolean || value instanceof BigInt) value = value.valueOf();
      } catch (error) {
        return thrown(error);
      }
      switch (typeof value) {
        case 'string': return counted(JSON.stringify(value));
        case 'number': return counted(Number.isFinite(value) ? String(value) : 'null');
        case 'boolean': return counted(value ? 'true' : 'false');
        case 'bigint': return counted(JSON.stringify(value.toString()));
        case 'object': break;
        default: return undefined;  // undefined, function, symbol
      }
      if (value === null) return counted('null');
      if (ancestors.includes(value)) return '"[Circular]"';
      if (depth >= MAX_DEPTH) return '"[Too deep]"';
      ancestors.push(value);
      try {
        const parts = [];
        if (Array.isArray(value)) {
          const length = value.length;
          for (let i = 0; i < length; ++i) {
            if (room <= 0) {
              parts.push('"[Too long]"');
              break;
            }
            parts.push(serialize(value, String(i), depth + 1) ?? counted('null'));
          }
          return `[${parts.join(',')}]`;
        }
        for (const name of Object.keys(value)) {
          if (room <= 0) {
            parts.push('"[Too long]":"[Too long]"');
            break;
          }
          const member = serialize(value, name, depth + 1);
          if (member !== undefined) parts.push(`${counted(JSON.stringify(name))}:${member}`);
        }
        return `{${parts.join(',')}}`;
      } catch (error) {
        return thrown(error);
      } finally {
        ancestors.pop();
      }
    }
    return serialize({ '': root }, '', 0) ?? 'null';
  }

  function toJson(value) {
    try {
      if (!Array.isArray(value) || value.length <= MAX_JSON_LENGTH) {
        const text = JSON.stringify(value instanceof Error ? errorFields(value) : value) ?? 'null';
        if (text.length <= MAX_JSON_LENGTH) return text;
      }
      return walk(value);
    } catch {
      try {
        return walk(value);
      } catch (error) {
        return thrown(error);  // the stack ran out inside walk
      }
    }
  }

  // ---------------------------------------------------------------------------
  // Call sites: the caller of a logging method (the frame below `method`), or
  // null when the engine cannot tell (Error locked down, code without a file).

  function framesOnly(_, frames) {
    return frames;
  }

  function callSiteBelow(method) {
    const savedPrepare = Error.prepareStackTrace;
    const savedLimit = Error.stackTraceLimit;
    try {
      Error.prepareStackTrace = framesOnly;
      Error.stackTraceLimit = 1;
      const holder = {};
      Error.captureStackTrace(holder, method);
      const frame = holder.stack[0];
      const file = frame?.getFileName();
      return typeof file === 'string' && file !== '' ?
        { file, line: frame.getLineNumber() ?? 0 } : null;
    } catch {
      return null;
    } finally {
      try {
        Error.prepareStackTrace = savedPrepare;
        Error.stackTraceLimit = savedLimit;
      } catch {
        // Error is frozen: nothing was changed.
      }
    }
  }

  // ---------------------------------------------------------------------------
  // Loggers.

  class Logger {
    #category;
    #callSite;
    #levels;
    #index;
    #write;

    constructor(category, callSite) {
      let bound = boundCategories.get(category);
      if (bound === undefined) {
        bound = native.category(category);
        boundCategories.set(category, bound);
      }
      const [name, slot, write] = bound;
      const page = Math.floor(slot / native.slotsPerPage);
      this.#category = name;
      this.#callSite = callSite;
      this.#levels = pages[page] ??= native.levelPage(page);
      this.#index = slot % native.slotsPerPage;
      this.#write = write;
    }

    get category() { return this.#category; }
    get callSite() { return this.#callSite; }

    isEnabled(level) {
      return levelNumber(level) >= this.#levels[this.#index];
    }

    child(suffix) {
      if (typeof suffix !== 'string') throw typeError(suffix, 'string');
      return new Logger(`${this.#category}.${suffix}`, this.#callSite);
    }

    dbg(text, value) {
      if (typeof text !== 'string') throw typeError(text, 'string');
      if (this.#levels[this.#index] <= DBG) this.#emit(DBG, text, value, Logger.#methods.dbg);
    }

    info(text, value) {
      if (typeof text !== 'string') throw typeError(text, 'string');
      if (this.#levels[this.#index] <= INFO) this.#emit(INFO, text, value, Logger.#methods.info);
    }

    warn(text, value) {
      if (typeof text !== 'string') throw typeError(text, 'string');
      if (this.#levels[this.#index] <= WARN) this.#emit(WARN, text, value, Logger.#methods.warn);
    }

    error(text, value) {
      if (typeof text !== 'string') throw typeError(text, 'string');
      if (this.#levels[this.#index] <= ERR) this.#emit(ERR, text, value, Logger.#methods.error);
    }

    critical(text, value) {
      if (typeof text !== 'string') throw typeError(text, 'string');
      if (this.#levels[this.#index] <= CRITICAL) {
        this.#emit(CRITICAL, text, value, Logger.#methods.critical);
      }
    }

    #emit(level, text, value, method) {
      const line = value === undefined ? text : `${text} ${toJson(value)}`;
      const site = this.#callSite ? callSiteBelow(method) : null;
      if (site === null) this.#write(level, line);
      else this.#write(level, line, site.file, site.line);
    }

    // The methods as first defined: the frame below one of them is the caller.
    static #methods = {
      dbg: Logger.prototype.dbg,
      info: Logger.prototype.info,
      warn: Logger.prototype.warn,
      error: Logger.prototype.error,
      critical: Logger.prototype.critical,
    };
  }

  return function getLogger(category, options) {
    if (typeof category !== 'string') throw typeError(category, 'string');
    if (options !== undefined && (options === null || typeof options !== 'object')) {
      throw typeError(options, 'object or undefined');
    }
    const callSite = options?.callSite ?? false;
    if (typeof callSite !== 'boolean') throw typeError(callSite, 'boolean or undefined');
    return new Logger(category, callSite);
  };
})

// The declaration files against the built modules: each declares exactly the
// functions its module exports, in their order, and the declared results have
// the properties the modules answer with. (tests/usage.ts checks the types
// themselves with the compiler.)
'use strict';
const { test, after } = require('node:test');
const assert = require('node:assert');
const path = require('node:path');
const ts = require('typescript');

const load = (name) => require(path.join(process.env.KESTRO_OUT_DIR, `${name}.node`));
// The simulated centre first, so the addon talks to it.
const modules = { notifysim: load('notifysim'), notifyaddon: load('notifyaddon'),
  bootclock: load('bootclock'), logcontrol: load('logcontrol') };
const { notifysim: sim, notifyaddon, bootclock, logcontrol } = modules;
// A notification left on show with a handler set would keep the process alive.
after(() => sim.reset());

const declarationFile = (name) => path.join(__dirname, '..', `${name}.d.ts`);
const program = ts.createProgram(Object.keys(modules).map(declarationFile), { strict: true, types: [] });
const checker = program.getTypeChecker();

function declaredExports(name) {
  const file = program.getSourceFile(declarationFile(name));
  return checker.getExportsOfModule(checker.getSymbolAtLocation(file));
}

function declaredProperties(name, typeName) {
  const symbol = declaredExports(name).find((s) => s.name === typeName);
  return checker.getDeclaredTypeOfSymbol(symbol).getProperties().map((p) => p.name);
}

const sorted = (names) => [...names].sort();

test('each declaration file declares the functions its module exports, in order', () => {
  for (const [name, module] of Object.entries(modules)) {
    const functions = declaredExports(name).filter((s) => s.flags & ts.SymbolFlags.Function);
    assert.deepStrictEqual(functions.map((s) => s.name), Object.getOwnPropertyNames(module), name);
  }
});

test('the declared results have the properties the modules answer with', async () => {
  notifyaddon.initNotificationCenterDelegate('Reply', () => {});
  await notifyaddon.deliverNotification('T', null, null, true, 'g', '1', true);
  const rejection = await bootclock.getProcessStartDate().catch((err) => err);
  const cases = [
    ['notifyaddon', 'NotificationSettings', await notifyaddon.getNotificationSettings()],
    ['notifyaddon', 'BadgePermission', await notifyaddon.requestBadgePermission()],
    ['notifysim', 'DeliveredNotification', sim.delivered()[0]],
    ['notifysim', 'InstalledCategory', sim.categories()[0]],
    ['logcontrol', 'LogConfig', logcontrol.getCompleteMasterLogConfig()],
    ['logcontrol', 'CategoryConfig', logcontrol.getCompleteMasterLogConfig().categories['']],
  ];
  for (const [name, typeName, value] of cases) {
    assert.deepStrictEqual(sorted(declaredProperties(name, typeName)), sorted(Object.keys(value)), typeName);
  }
  // A logger's members live on its prototype.
  const logger = Object.getPrototypeOf(logcontrol.getLogger('app'));
  assert.deepStrictEqual(sorted(declaredProperties('logcontrol', 'Logger')),
    sorted(Object.getOwnPropertyNames(logger).filter((name) => name !== 'constructor')));
  for (const property of declaredProperties('rejection', 'NativeRejection')) {
    assert.ok(property in rejection, property);
  }
});

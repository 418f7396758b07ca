// Uses every export of the four modules as the application would, through
// the package's own names, with the argument types each accepts; the lines
// under @ts-expect-error must stay errors, so the declarations cannot become
// looser than the modules. Compiled only (tsc --noEmit), never run.
import type * as NotifyAddon from '@kestro/native/notifyaddon';
import type * as BootClock from '@kestro/native/bootclock';
import type * as LogControl from '@kestro/native/logcontrol';
import type * as NotifySim from '@kestro/native/notifysim';

declare function require(id: string): unknown;
const notifyaddon = require('./notifyaddon.node') as typeof NotifyAddon;
const bootclock = require('./bootclock.node') as typeof BootClock;
const logcontrol = require('./logcontrol.node') as typeof LogControl;
const sim = require('./notifysim.node') as typeof NotifySim;

async function application(): Promise<void> {
  logcontrol.initLogging('/tmp/logs', 'main', '1001', true);
  const result: NotifyAddon.DelegateResult = notifyaddon.initNotificationCenterDelegate('Reply',
    (event, id, data) => {
      const text: string = event === 'reply' ? data.reply : id;
      // @ts-expect-error: an activation carries no data
      data.reply;
      void text;
    });
  const window = { responses: 0, listen: notifyaddon.initNotificationCenterDelegate };
  window.listen('Reply', function () { this.responses += 1; });  // this: the window
  const supported: boolean = notifyaddon.isSupported();
  const delivered: null = await notifyaddon.deliverNotification('Ada', null, undefined, false, 'chat-1', '42', true);
  notifyaddon.removeNotificationsWithGroupIDs(['chat-1']);
  notifyaddon.removeAllNotifications();
  const { permissionGranted, error }: NotifyAddon.BadgePermission = await notifyaddon.requestBadgePermission();
  const settings = await notifyaddon.getNotificationSettings();
  const nine: number[] = [settings.alertSetting, settings.alertStyle, settings.authorizationStatus,
    settings.badgeSetting, settings.criticalAlertSetting, settings.lockScreenSetting,
    settings.notificationCenterSetting, settings.showPreviewsSetting, settings.soundSetting];
  await bootclock.getProcessStartDate().catch((reason: NotifyAddon.NativeRejection) => {
    const where: [string, string, number] = [reason.code, reason.fileName, reason.lineNumber];
    void where;
  });

  logcontrol.log('app.ui', 'INFO', 'shown');
  logcontrol.log('app.ui', 3000, 'warned');
  const ui: LogControl.Logger = logcontrol.getLogger('app.ui', { callSite: true });
  ui.info('opened', { width: 800, at: new Date() });
  ui.child('dialog').warn('slow');
  if (ui.isEnabled('DBG') || ui.isEnabled(1000)) ui.dbg('details');
  logcontrol.getLogger('app').critical('down', new Error('x'));
  const name: string = ui.category;
  logcontrol.updateLoggingWithUserId('1002');
  const config: LogControl.LogConfig = logcontrol.getCompleteMasterLogConfig();
  const level: string = config.categories['qsyn']!.level;
  logcontrol.setCompleteMasterLogConfig(config);
  logcontrol.setCompleteMasterLogConfig({ categories: { app: 'WARN', rtc: { level: 4000, inherit: false } } });
  logcontrol.flushLogs();
  logcontrol.deinitLogging();

  sim.configure({ osVersion: '10.14', settings: { soundSetting: 1 }, addError: null,
    authorizationError: { domain: 'UNErrorDomain', code: 1, description: 'Not allowed' } });
  sim.reset();
  const shown: string | null = sim.delivered()[0]!.categoryIdentifier;
  const textInput: boolean = sim.categories()[0]!.actions[0]!.textInput;
  const requests: number[] = sim.authorizationRequests();
  const responded: undefined = await sim.respond('chat-1', { action: 'REPLY', text: 'yes' });
  const flooded: undefined = await sim.respondMany(
    [[{ identifier: 'chat-1', response: { action: 'default' } }], []]);
  void [result, supported, delivered, permissionGranted, error, nine, level, shown, textInput, requests,
    responded, flooded, name];
}

function wrongTypes(): void {
  // @ts-expect-error: the reply title is a string
  notifyaddon.initNotificationCenterDelegate(5, () => {});
  // @ts-expect-error: the handler receives strings
  notifyaddon.initNotificationCenterDelegate('Reply', (event: number) => event);
  // @ts-expect-error: seven arguments, all given
  notifyaddon.deliverNotification('Ada', null, null, false, 'chat-1', '42');
  // @ts-expect-error: silent is a boolean
  notifyaddon.deliverNotification('Ada', null, null, 'no', 'chat-1', '42', true);
  // @ts-expect-error: the title cannot be left out
  notifyaddon.deliverNotification(null, null, null, false, 'chat-1', '42', true);
  // @ts-expect-error: group ids are strings
  notifyaddon.removeNotificationsWithGroupIDs([1]);
  // @ts-expect-error: no arguments
  notifyaddon.requestBadgePermission(true);
  // @ts-expect-error: tracing is a boolean
  logcontrol.initLogging('/tmp/logs', 'main', '1001', 1);
  // @ts-expect-error: a level is a name or a number
  logcontrol.log('app.ui', true, 'm');
  // @ts-expect-error: a logger's text is a string
  logcontrol.getLogger('app.ui').info({ text: 'x' });
  // @ts-expect-error: callSite is a boolean
  logcontrol.getLogger('app.ui', { callSite: 'yes' });
  // @ts-expect-error: a category entry needs its level
  logcontrol.setCompleteMasterLogConfig({ categories: { app: { inherit: false } } });
  // @ts-expect-error: the user's answer names its action
  void sim.respond('chat-1', { text: 'yes' });
  // @ts-expect-error: batches are arrays of addressed responses
  void sim.respondMany([{ identifier: 'chat-1', response: { action: 'default' } }]);
  // @ts-expect-error: a setting the centre does not have
  sim.configure({ settings: { volume: 3 } });
}

void application;
void wrongTypes;

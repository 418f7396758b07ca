// The application's TypeScript, importing @kestro/native by its name: the
// declarations resolve through the package's "exports" (node16), in strict
// mode. Compiled only (tsc --noEmit). The lines under @ts-expect-error must
// stay errors: the package's declarations are what is checked.
import * as notifyaddon from '@kestro/native/notifyaddon';
import * as bootclock from '@kestro/native/bootclock';
import * as logcontrol from '@kestro/native/logcontrol';
import * as sim from '@kestro/native/notifysim';
// @ts-expect-error: the loader is not a subpath of the package
import type * as Loader from '@kestro/native/internal/prebuilt';

export async function application(logDirectory: string): Promise<string> {
  logcontrol.initLogging(logDirectory, 'consumer', '7', true);
  const replies: string[] = [];
  notifyaddon.initNotificationCenterDelegate('Reply', (event, id, data) => {
    if (event === 'reply') replies.push(`${id}: ${data.reply}`);
  });
  const delivered: null = await notifyaddon.deliverNotification('Ada', null, 'Lunch?', false,
    'chat-1', '42', true);
  await sim.respond('chat-1', { action: 'REPLY', text: 'yes, at noon' });
  notifyaddon.removeAllNotifications();
  const where = await bootclock.getProcessStartDate().then(() => '',
    (reason: notifyaddon.NativeRejection) => `${reason.fileName}:${reason.lineNumber}`);
  // @ts-expect-error: a level is a name or a number
  logcontrol.log('consumer.app', true, 'not a level');
  return `${delivered} ${where} ${replies.join()}`;
}

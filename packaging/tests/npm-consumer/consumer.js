// An application's script that has @kestro/native installed from its tarball
// and uses it by the package's name alone: logging into the directory it is
// given, a notification delivered and answered on the simulated centre, the
// start date's refusal, a line logged from JavaScript. Prints what it saw as
// JSON.
'use strict';
const sim = require('@kestro/native/notifysim');  // first: the addon talks to the simulated centre
const notifyaddon = require('@kestro/native/notifyaddon');
const bootclock = require('@kestro/native/bootclock');
const logcontrol = require('@kestro/native/logcontrol');

async function main(logDirectory) {
  logcontrol.initLogging(logDirectory, 'consumer', '7', true);
  const events = [];
  const delegate = notifyaddon.initNotificationCenterDelegate('Reply',
    (event, id, data) => events.push([event, id, data]));
  const delivered = await notifyaddon.deliverNotification('Ada', null, 'Lunch?', false,
    'chat-1', '42', true);
  await sim.respond('chat-1', { action: 'REPLY', text: 'yes, at noon' });
  // Answered: withdraw it, or it could still be answered and keep the
  // process alive.
  notifyaddon.removeAllNotifications();
  const startDate = await bootclock.getProcessStartDate().then(
    (date) => ({ date }), (error) => ({ error: error.message }));
  logcontrol.log('consumer.app', 'WARN', 'a line from the consumer script');
  logcontrol.flushLogs();
  return { delegate, delivered, events, startDate };
}

main(process.argv[2]).then((seen) => process.stdout.write(JSON.stringify(seen)),
  (error) => {
    console.error(error);
    process.exitCode = 1;
  });

// A test killed in the middle leaves the host as it found it. A child process
// changes the host as the tests do (the smarthost in exim's configuration, a
// wrapper in the CGI folder, a bounce in a mailbox) and is killed: with
// SIGTERM its own guard puts the host back; with SIGKILL, which no process
// can answer, CTest's cleanup (host.js restore) does.
'use strict';

const { execFileSync, spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const { isRoot, waitUntil } = require('./common');
const host = require('./host');
const { startSmarthost } = require('./relay');

// The child: changes the host, says so, and waits to be killed.
if (process.argv[2] === 'meddle') {
  host.guard();
  (async () => {
    await startSmarthost();
    fs.mkdirSync('/usr/lib/cgi-bin/orvik', { recursive: true });
    fs.writeFileSync('/usr/lib/cgi-bin/orvik/meddled', '#!/bin/sh\n', { mode: 0o755 });
    fs.appendFileSync('/var/mail/bounces', 'From MAILER-DAEMON Thu Dec 10 00:00:00 2026\nSubject: x\n\nx\n\n');
    console.log('meddled');
    setInterval(() => {}, 1000);
  })();
  return;
}

const assert = require('node:assert/strict');
const { describe, it } = require('node:test');

describe('the host after a killed test', { skip: !isRoot && 'the tests change the host only as root' }, () => {
  for (const signal of ['SIGTERM', 'SIGKILL']) {
    it(`is as it was, the test killed with ${signal}`, async () => {
      const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'orvik-host-test-'));
      try {
        host.save(folder);
        const child = spawn(process.execPath, [__filename, 'meddle'], {
          env: { ...process.env, ORVIK_HOST_STATE: folder }, stdio: ['ignore', 'pipe', 'inherit'] });
        const exited = new Promise((resolve) => child.once('exit', resolve));
        let said = '';
        child.stdout.on('data', (chunk) => { said += chunk; });
        await waitUntil(() => said.includes('meddled') || child.exitCode !== null, { what: 'the child to change the host' });
        assert.deepEqual(host.differences(folder).sort(), ['cgibin', 'exim', 'eximGenerated', 'mailboxes']);
        child.kill(signal);
        await exited;
        if (signal === 'SIGKILL') execFileSync(process.execPath, [path.join(__dirname, 'host.js'), 'restore', folder]);
        assert.deepEqual(host.differences(folder), []);
      } finally {
        fs.rmSync(folder, { recursive: true, force: true });
      }
    });
  }
});

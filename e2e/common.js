// What every end-to-end test file shares: where the repository and the build
// are, whether the tests run as root, what they need from the host, and the
// one way they wait for something to happen.
'use strict';

const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');

const repo = path.resolve(__dirname, '..');
const buildDir = process.env.ORVIK_BUILD_DIR || path.join(repo, 'build-test');
const isRoot = process.getuid() === 0;
const serverUser = isRoot ? 'www-data' : os.userInfo().username;
const mailbox = '/var/mail/formmail';

function hasCommand(name) {
  try {
    execFileSync('sh', ['-c', `command -v ${name}`], { stdio: 'ignore' });
    return true;
  } catch {
    return false;
  }
}

// What these tests need and do not find here, as readable reasons.
function missingPrerequisites({ browser = false } = {}) {
  const missing = [];
  if (!hasCommand('lighttpd')) missing.push('lighttpd (Debian package lighttpd)');
  if (!hasCommand('apache2') && !fs.existsSync('/usr/sbin/apache2')) missing.push('apache2 (Debian package apache2)');
  if (!fs.existsSync('/usr/sbin/nginx')) missing.push('nginx (Debian package nginx)');
  if (!fs.existsSync('/usr/sbin/fcgiwrap')) missing.push('fcgiwrap (Debian package fcgiwrap)');
  if (!fs.existsSync('/usr/lib/sendmail')) missing.push('/usr/lib/sendmail (Debian package exim4-daemon-light)');
  if (!hasCommand('update-exim4.conf')) missing.push("update-exim4.conf (Debian's exim4-config)");
  for (const [command, debianPackage] of [['dpkg-buildpackage', 'dpkg-dev'], ['dh_apache2', 'dh-apache2'],
                                          ['lintian', 'lintian'], ['hardening-check', 'devscripts']]) {
    if (!hasCommand(command)) missing.push(`${command} (Debian package ${debianPackage})`);
  }
  if (spawnSync('/usr/bin/python3', ['-c', 'import aiosmtpd']).status !== 0) {
    missing.push('the smarthost\'s SMTP server (Debian package python3-aiosmtpd)');
  }
  for (const user of ['formmail', 'bounces']) {
    try {
      execFileSync('id', [user], { stdio: 'ignore' });
    } catch {
      missing.push(`the local user ${user} with a mailbox (scripts/install-deps site makes it)`);
    }
  }
  if (fs.existsSync(mailbox)) {
    try {
      fs.accessSync(mailbox, fs.constants.R_OK);
    } catch {
      missing.push(`read access to ${mailbox} (run as root)`);
    }
  } else if (!isRoot) {
    missing.push(`${mailbox} readable by this user (run as root)`);
  }
  if (browser) {
    if (!fs.existsSync('/usr/bin/chromium')) missing.push('/usr/bin/chromium (Debian package chromium)');
    try {
      require.resolve('playwright-core');
    } catch {
      missing.push('playwright-core (npm ci in e2e/)');
    }
  }
  return missing;
}

// Stops the test file before it starts when something is missing: a failure
// on CI, a skip (exit 77, which CTest reports as skipped) elsewhere.
function requirePrerequisites(options) {
  const missing = missingPrerequisites(options);
  if (missing.length === 0) return;
  const reason = `end-to-end tests need: ${missing.join('; ')}`;
  if (process.env.CI === 'true') {
    console.error(`FAIL: ${reason}`);
    process.exit(1);
  }
  console.log(`SKIPPED: ${reason}`);
  process.exit(77);
}

function sleep(ms) {
  return new Promise((r) => setTimeout(r, ms));
}

// Waits until `check` (which may be async) answers something other than
// undefined, null or false, and answers that; every `every` ms, for at most
// `timeoutMs`, then fails saying it waited for `what`.
async function waitUntil(check, { what, timeoutMs = 30000, every = 200 }) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const found = await check();
    if (found !== undefined && found !== null && found !== false) return found;
    if (Date.now() > deadline) throw new Error(`waited ${timeoutMs} ms for ${what}`);
    await sleep(every);
  }
}

// The lines of `wanted` appear in `lines` in this order.
function inOrder(lines, wanted) {
  let at = 0;
  for (const line of lines) if (line === wanted[at]) at += 1;
  return at === wanted.length;
}

function freePort(host = '127.0.0.1') {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, host, () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// Waits until `child` accepts connections at `where` (net.connect's options:
// a port and host, or a socket's path).
function waitForListener(where, child, timeoutMs = 15000) {
  return waitUntil(() => {
    if (child.exitCode !== null) throw new Error(`${child.spawnfile} exited with ${child.exitCode}`);
    return new Promise((resolve) => {
      const socket = net.connect(where);
      socket.once('connect', () => { socket.destroy(); resolve(true); });
      socket.once('error', () => { socket.destroy(); resolve(false); });
    });
  }, { what: `a listener on ${where.path ?? `port ${where.port}`}`, timeoutMs, every: 100 });
}

function token() {
  return `t${process.pid}x${Date.now().toString(36)}${Math.floor(Math.random() * 1e6)}`;
}

module.exports = {
  repo, buildDir, isRoot, serverUser, mailbox, hasCommand, requirePrerequisites, sleep, waitUntil, inOrder, token,
  freePort, waitForListener,
};

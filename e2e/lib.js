// The road a visitor's request takes, set up for real: the installed
// programs and the site staged in a fresh folder, lighttpd or Apache httpd on
// a free loopback port with the repository's configuration, and the host's
// mailer delivering into the demo recipient's local mailbox.
'use strict';

const { execFileSync, spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');

const repo = path.resolve(__dirname, '..');
const buildDir = process.env.ORVIK_BUILD_DIR || path.join(repo, 'build-test');
const mailbox = '/var/mail/formmail';
const isRoot = process.getuid() === 0;
const serverUser = isRoot ? 'www-data' : os.userInfo().username;

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
  if (!fs.existsSync('/usr/lib/sendmail')) missing.push('/usr/lib/sendmail (Debian package exim4-daemon-light)');
  try {
    execFileSync('id', ['formmail'], { stdio: 'ignore' });
  } catch {
    missing.push('the demo recipient formmail with a local mailbox (scripts/install-site-deps makes it)');
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

function makeReadable(dir) {
  fs.chmodSync(dir, 0o755);
}

// Installs the programs with cmake --install into a fresh folder and puts the
// pages and the contact wrapper beside them.
function stageSite() {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'orvik-site-'));
  makeReadable(root);
  const prefix = path.join(root, 'install');
  execFileSync(process.env.CMAKE || 'cmake', ['--install', buildDir, '--prefix', prefix], { stdio: 'ignore' });
  const cgiBinDir = process.env.ORVIK_CGI_BIN_DIR || 'lib/cgi-bin';
  const cgibin = path.isAbsolute(cgiBinDir) ? cgiBinDir : path.join(prefix, cgiBinDir);
  fs.copyFileSync(path.join(repo, 'site/cgi-bin/contact'), path.join(cgibin, 'contact'));
  fs.chmodSync(path.join(cgibin, 'contact'), 0o755);
  const docroot = path.join(root, 'htdocs');
  fs.cpSync(path.join(repo, 'site/htdocs'), docroot, { recursive: true });
  const state = path.join(root, 'state');
  fs.mkdirSync(state);
  if (isRoot) execFileSync('chown', [serverUser, state]);
  return {
    root, cgibin, docroot, state,
    remove() { fs.rmSync(root, { recursive: true, force: true }); },
  };
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function waitForPort(port, child, timeoutMs = 15000) {
  const deadline = Date.now() + timeoutMs;
  return new Promise((resolve, reject) => {
    const attempt = () => {
      if (child.exitCode !== null) return reject(new Error(`server exited with ${child.exitCode}`));
      const socket = net.connect(port, '127.0.0.1');
      socket.once('connect', () => { socket.destroy(); resolve(); });
      socket.once('error', () => {
        socket.destroy();
        if (Date.now() > deadline) reject(new Error(`nothing listens on port ${port}`));
        else setTimeout(attempt, 100);
      });
    };
    attempt();
  });
}

const servers = {
  lighttpd: {
    command: (conf) => ['lighttpd', ['-D', '-f', conf]],
    conf: path.join(repo, 'site/lighttpd.conf'),
    software: () => execFileSync('lighttpd', ['-v']).toString().split(' ')[0],
  },
  apache: {
    command: (conf) => [fs.existsSync('/usr/sbin/apache2') ? '/usr/sbin/apache2' : 'apache2', ['-f', conf, '-DFOREGROUND']],
    conf: path.join(repo, 'site/apache2.conf'),
    software: () => 'Apache',  // ServerTokens Prod
  },
};

// Starts a server of `kind` on a free loopback port, serving `site`.
async function startServer(kind, site) {
  const server = servers[kind];
  const port = await freePort();
  const env = {
    ...process.env,
    ORVIK_PORT: String(port),
    ORVIK_DOCROOT: site.docroot,
    ORVIK_CGIBIN: site.cgibin,
    ORVIK_STATE: site.state,
    ORVIK_USER: serverUser,
  };
  const [command, args] = server.command(server.conf);
  // A process group of its own: Apache signals its whole group when it stops.
  const child = spawn(command, args, { env, stdio: ['ignore', 'inherit', 'inherit'], detached: true });
  const exited = new Promise((resolve) => child.once('exit', resolve));
  const killGroup = (signal) => {
    try { process.kill(-child.pid, signal); } catch { /* already gone */ }
  };
  process.once('exit', () => killGroup('SIGKILL'));
  try {
    await waitForPort(port, child);
  } catch (error) {
    killGroup('SIGKILL');
    throw error;
  }
  return {
    kind,
    port,
    url: `http://127.0.0.1:${port}`,
    software: server.software(),
    async stop() {
      if (child.exitCode === null) {
        killGroup('SIGTERM');
        const timer = setTimeout(() => killGroup('SIGKILL'), 5000);
        await exited;
        clearTimeout(timer);
      }
      await sleep(200);  // let the group's other processes go
      killGroup('SIGKILL');
    },
  };
}

function readMailbox() {
  return fs.existsSync(mailbox) ? fs.readFileSync(mailbox) : Buffer.alloc(0);
}

// The messages of an mbox, each as { headers: [lines], body } in bytes as
// latin1 text. The blank line that separates messages is not part of a body.
function parseMailbox(bytes) {
  const text = bytes.toString('latin1');
  return text.split(/^(?=From \S+ )/m).filter((m) => m.startsWith('From ')).map((m) => {
    const end = m.indexOf('\n\n');
    const headers = m.slice(m.indexOf('\n') + 1, end).split('\n');
    let body = m.slice(end + 2);
    if (body.endsWith('\n')) body = body.slice(0, -1);
    return { headers, body };
  });
}

// Waits until a message whose body holds `token` arrives after `offset`.
async function waitForMail(offset, token, timeoutMs = 30000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const found = parseMailbox(readMailbox().subarray(offset)).filter((m) => m.body.includes(token));
    if (found.length > 0) return found;
    if (Date.now() > deadline) throw new Error(`no mail with ${token} reached ${mailbox}`);
    await new Promise((r) => setTimeout(r, 200));
  }
}

function sleep(ms) {
  return new Promise((r) => setTimeout(r, ms));
}

// The lines of `wanted` appear in `lines` in this order.
function inOrder(lines, wanted) {
  let at = 0;
  for (const line of lines) if (line === wanted[at]) at += 1;
  return at === wanted.length;
}

// Bytes as latin1 text, so that pages and mail compare byte for byte.
function bytes(text) {
  return Buffer.from(text, 'utf8').toString('latin1');
}

const signature = () =>
  '<hr noshade with=90%>\n' +
  `<h4 ALIGN=RIGHT><i> ${process.env.FOLIO_ORG_NAME || 'ORVIK Career Resource Center'}<BR>\n` +
  `${process.env.FOLIO_ORG_ROOM || 'Franklin Hall, Room 112'}<BR>\n` +
  `        ${process.env.FOLIO_ORG_CITY || 'Springfield, IL 62701'}<BR>\n` +
  `\t ${process.env.FOLIO_ORG_PHONE || '(217) 555-0142'}<BR>\n` +
  '</h4></i>\n</BODY></HTML>\n';

const banner =
  '<HTML>\n' +
  '<TITLE>ORVIK-Resume Workshop</TITLE><BODY BGCOLOR=white TEXT=BLACK><BR>\n' +
  '<IMG SRC="../IMAGES/orvik_2.gif" ALIGN=MIDDLE WIDTH=66>\n' +
  '<FONT SIZE=+3><I>ORVIK Resume Workshop</I></FONT>\n' +
  '<HR>\n';

// folio's page for fields as the browser encoded them (name, value pairs).
function echoPage(pairs) {
  return banner + String(pairs.length) +
    pairs.map(([n, v]) => `\n${n}<BR>\n\n${v}<BR>\n`).join('') + signature();
}

const successPage =
  '<TITLE>Form Submission Results</TITLE>\n' +
  '<H1>Delivery Successful</H1>\n' +
  '<P>Your input has been delivered successfully to\n' +
  'the maintainer(s) of this form.</P>\n' +
  '<P>Thank you for your time.</P>\n';

function errorPage(lines) {
  return '<TITLE>Form Submission Results</TITLE>\n' +
    '<H1>Oh, Drat!  An Error Occurred!</H1>\n\n' + lines +
    `<P>Please send a note to <I>webmaster@${os.hostname()}</I> and complain about this.</P>\n`;
}

const contactHeaders = [
  'To: formmail@localhost',
  'Cc:',
  'Subject: ORVIK contact form',
  'Reply-To: formmail@localhost',
  'X-Delivered-Via: Postern Version 1.1 of 1994/12/22 18:59:32',
];

// The report part of the contact form's mail through `server`.
function contactReport(server, agent) {
  return '\nREMOTE USER INFORMATION\n-----------------------\n' +
    '\tRemote host name:      (unknown)\n' +
    '\tRemote host address:   127.0.0.1\n' +
    `\tRemote user's browser: ${agent}\n` +
    '\nLOCAL SERVER INFORMATION\n------------------------\n' +
    '\tServer host name:      127.0.0.1\n' +
    `\tServer host port:      ${server.port}\n` +
    `\tServer software:       ${server.software}\n` +
    '\tServer protocol:       HTTP/1.1\n' +
    '\tGateway interface:     CGI/1.1\n' +
    '\tCGI script name:       /cgi-bin/contact\n' +
    '\nFILL-OUT FORM VALUES\n--------------------\n';
}

function token() {
  return `t${process.pid}x${Date.now().toString(36)}${Math.floor(Math.random() * 1e6)}`;
}

module.exports = {
  repo, buildDir, mailbox, requirePrerequisites, stageSite, startServer,
  readMailbox, parseMailbox, waitForMail, sleep, inOrder, bytes, echoPage,
  successPage, errorPage, contactHeaders, contactReport, token,
};

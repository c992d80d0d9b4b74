// The road a visitor's request takes, set up for real: the installed
// programs and the site staged in a fresh folder (or the Debian package
// installed on the machine), lighttpd, Apache httpd or nginx with fcgiwrap
// on a free loopback port with the repository's configuration (or Debian's
// stock Apache configuration), and the host's mailer delivering into the
// demo recipient's local mailbox.
'use strict';

const { execFileSync, spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
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

// One HTTP request on a connection of its own (a reused keep-alive
// connection may meet the server closing it): answers the status, the
// content type and the body as latin1 text, so that it compares byte for
// byte.
function httpRequest(url, { method = 'GET', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const request = http.request(url, { method, headers, agent: false }, (response) => {
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () => resolve({
        status: response.statusCode,
        type: response.headers['content-type'] || null,
        body: Buffer.concat(chunks).toString('latin1'),
      }));
      response.on('error', reject);
    });
    request.on('error', reject);
    if (body !== undefined) request.setHeader('Content-Length', Buffer.byteLength(body));
    request.end(body);
  });
}

// One HTTP/1.0 request, so that the server closes the connection after the
// answer and sends its body as it is: answers the answer's bytes, the status
// line and the headers included, as latin1 text.
function rawRequest(url, { method = 'GET', headers = {}, body = '' } = {}) {
  const { hostname, port, pathname, search } = new URL(url);
  return new Promise((resolve, reject) => {
    const socket = net.connect({ host: hostname, port: Number(port) });
    const chunks = [];
    socket.on('data', (chunk) => chunks.push(chunk));
    socket.on('end', () => resolve(Buffer.concat(chunks).toString('latin1')));
    socket.on('error', reject);
    const lines = [`${method} ${pathname}${search} HTTP/1.0`, `Host: ${hostname}:${port}`,
      ...Object.entries(headers).map(([name, value]) => `${name}: ${value}`),
      `Content-Length: ${Buffer.byteLength(body)}`];
    // Not half-closed: nginx drops a request whose client has closed its side.
    socket.write(Buffer.concat([Buffer.from(`${lines.join('\r\n')}\r\n\r\n`, 'latin1'), Buffer.from(body)]));
  });
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

function makeReadable(dir) {
  fs.chmodSync(dir, 0o755);
}

// The example wrappers, which the tests put into the CGI folder.
const exampleWrappers = ['contact', 'apply'];

// As the README's package route does with the installed examples: the
// wrappers into the CGI folder, the pages into a document root under
// `root`, and a folder for the server's logs there.
function placeExamples(examples, cgibin, root) {
  for (const wrapper of exampleWrappers) {
    fs.copyFileSync(path.join(examples, 'cgi-bin', wrapper), path.join(cgibin, wrapper));
    fs.chmodSync(path.join(cgibin, wrapper), 0o755);
  }
  const docroot = path.join(root, 'htdocs');
  fs.cpSync(path.join(examples, 'htdocs'), docroot, { recursive: true });
  const state = path.join(root, 'state');
  fs.mkdirSync(state);
  if (isRoot) execFileSync('chown', [serverUser, state]);
  return { docroot, state };
}

// Stages the site from the build folder with scripts/stage-site, as the
// README installs it: folio and lookout into the CGI folder, postern out of
// the server's reach, the contact wrapper (naming that postern) beside them,
// the pages into a document root. With `demo`, the contact wrapper is the
// demo's, with the options the example pages are made for.
function stageSite({ demo = false } = {}) {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'orvik-site-'));
  const vars = Object.fromEntries(execFileSync(path.join(repo, 'scripts/stage-site'),
    [buildDir, root, ...(demo ? ['--demo'] : [])])
    .toString().trim().split('\n').map((line) => [line.slice(0, line.indexOf('=')), line.slice(line.indexOf('=') + 1)]));
  return {
    root, cgibin: vars.ORVIK_CGIBIN, docroot: vars.ORVIK_DOCROOT, state: vars.ORVIK_STATE, postern: vars.POSTERN,
    remove() { fs.rmSync(root, { recursive: true, force: true }); },
  };
}

// The options of a wrapper of the repository's site (`file`, under site/),
// and its subject and recipient: { 'thanks-url': '/thanks.html', ...,
// subject, recipient }. The demo's contact wrapper is site/demo-contact.in.
function wrapperOptions(file) {
  const wrapper = fs.readFileSync(path.join(repo, 'site', file), 'utf8');
  const options = Object.fromEntries([...wrapper.matchAll(/ --([a-z-]+)=(\S+)/g)].map((m) => [m[1], m[2]]));
  const [, subject, recipient] = wrapper.match(/ -s "([^"]*)" (\S+)\n/);
  return { ...options, subject, recipient };
}

const debianPackage = 'orvik-cgi';

// What dpkg knows of the package, or null when it is not installed.
function packageStatus() {
  try {
    return execFileSync('dpkg-query', ['-W', '-f=${Status}', debianPackage], { stdio: ['ignore', 'pipe', 'ignore'] })
      .toString();
  } catch {
    return null;
  }
}

function apacheModuleEnabled(module) {
  return fs.existsSync(`/etc/apache2/mods-enabled/${module}.load`);
}

// Every file and link under /etc/apache2, with what it holds or points to:
// Apache's configuration, to compare before and after the package.
function apacheConfiguration(dir = '/etc/apache2') {
  const out = {};
  for (const name of fs.readdirSync(dir).sort()) {
    const file = path.join(dir, name);
    const stat = fs.lstatSync(file);
    if (stat.isSymbolicLink()) out[file] = `-> ${fs.readlinkSync(file)}`;
    else if (stat.isDirectory()) Object.assign(out, apacheConfiguration(file));
    else out[file] = fs.readFileSync(file, 'latin1');
  }
  return out;
}

// Builds the Debian package as Debian builds it, with dpkg-buildpackage in a
// copy of the repository's files (dh_auto_test runs the unit and black-box
// tests with the package's settings); runs lintian on it and keeps its
// findings; installs it with apt-get, which enables its Apache
// configuration; runs hardening-check on the installed programs; enables
// mod_cgid with a2enmod as the README says; and copies the example contact
// wrapper into /usr/lib/cgi-bin/orvik and the example pages into a fresh
// document root. The build's output goes to the test's log. remove() undoes
// all of it, purging the package, and answers what is left of it and what
// changed in Apache's configuration (nothing, when all is well).
function stageDebianPackage() {
  if ((packageStatus() || '').endsWith(' installed')) {
    throw new Error(`${debianPackage} is installed already: remove it before the tests`);
  }
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'orvik-deb-'));
  makeReadable(root);
  const source = path.join(root, debianPackage);
  fs.mkdirSync(source);
  execFileSync('sh', ['-c', 'git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$1"',
                      'sh', source], { cwd: repo });
  const log = { stdio: ['ignore', process.stderr, 'inherit'] };
  execFileSync('dpkg-buildpackage', ['-us', '-uc', '-b'], {
    ...log, cwd: source, env: { ...process.env, DEB_BUILD_OPTIONS: `parallel=${os.cpus().length}` },
  });
  const deb = fs.readdirSync(root).find((name) => name.startsWith(`${debianPackage}_`) && name.endsWith('.deb'));
  if (!deb) throw new Error('dpkg-buildpackage made no .deb');
  const lintian = spawnSync('lintian', ['-I', '--pedantic', '--fail-on', 'error,warning', path.join(root, deb)]);

  const apacheBefore = apacheConfiguration();
  const apt = { stdio: 'ignore', env: { ...process.env, DEBIAN_FRONTEND: 'noninteractive' } };
  execFileSync('apt-get', ['install', '-y', '-q', path.join(root, deb)], apt);
  const files = execFileSync('dpkg-query', ['-L', debianPackage]).toString().split('\n').filter((f) => f);
  const cgibin = '/usr/lib/cgi-bin/orvik';
  const postern = `/usr/libexec/${debianPackage}/postern`;
  // Every bookworm program lacks the control-flow mark, whatever its flags:
  // the C library's start files carry none (the compiler's flag is on).
  const hardening = spawnSync('hardening-check', ['--nocfprotection', path.join(cgibin, 'folio'),
                                                  path.join(cgibin, 'lookout'), postern]);
  const cgidWasEnabled = apacheModuleEnabled('cgid');
  if (!cgidWasEnabled) execFileSync('a2enmod', ['-q', 'cgid'], { stdio: 'ignore' });
  const { docroot, state } = placeExamples(`/usr/share/doc/${debianPackage}/examples`, cgibin, root);
  // As Debian's apache2ctl prepares the run folder: cgid's socket folder.
  fs.mkdirSync(path.join(state, 'socks'));
  if (isRoot) execFileSync('chown', [serverUser, path.join(state, 'socks')]);
  const output = (run) => `${run.stdout}${run.stderr}`;
  return {
    root, cgibin, docroot, state, deb, files, postern,
    lintian: { status: lintian.status, output: output(lintian) },
    hardening: { status: hardening.status, output: output(hardening) },
    remove() {
      for (const wrapper of exampleWrappers) fs.rmSync(path.join(cgibin, wrapper), { force: true });
      if (!cgidWasEnabled) execFileSync('a2dismod', ['-q', 'cgid'], { stdio: 'ignore' });
      execFileSync('apt-get', ['purge', '-y', '-q', debianPackage], apt);
      fs.rmSync(root, { recursive: true, force: true });
      const left = files.filter((f) => fs.existsSync(f) && !fs.statSync(f).isDirectory());
      for (const dir of [`/usr/libexec/${debianPackage}`, `/usr/share/doc/${debianPackage}`, cgibin,
                         `/usr/share/${debianPackage}`]) {
        if (fs.existsSync(dir)) left.push(dir);
      }
      const status = packageStatus();
      if (status !== null && !status.includes('not-installed')) left.push(`dpkg status: ${status}`);
      const apacheAfter = apacheConfiguration();
      for (const file of new Set([...Object.keys(apacheBefore), ...Object.keys(apacheAfter)])) {
        if (apacheBefore[file] !== apacheAfter[file]) left.push(`changed in Apache's configuration: ${file}`);
      }
      return left;
    },
  };
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
  const deadline = Date.now() + timeoutMs;
  return new Promise((resolve, reject) => {
    const attempt = () => {
      if (child.exitCode !== null) return reject(new Error(`${child.spawnfile} exited with ${child.exitCode}`));
      const socket = net.connect(where);
      socket.once('connect', () => { socket.destroy(); resolve(); });
      socket.once('error', () => {
        socket.destroy();
        if (Date.now() > deadline) reject(new Error(`nothing listens on ${where.path ?? `port ${where.port}`}`));
        else setTimeout(attempt, 100);
      });
    };
    attempt();
  });
}

const fcgiwrapSocket = (site) => path.join(site.state, 'fcgiwrap.sock');

const apache2 = fs.existsSync('/usr/sbin/apache2') ? '/usr/sbin/apache2' : 'apache2';

// How to run each server on `port` for `site`: the processes to start (the
// first is the server), and the error log where a CGI program's standard
// error lands.
const servers = {
  lighttpd: {
    start: (site, env) => [['lighttpd', ['-D', '-f', path.join(repo, 'site/lighttpd.conf')], env]],
    errorLog: (site) => path.join(site.state, 'cgi-error.log'),
    software: () => execFileSync('lighttpd', ['-v']).toString().split(' ')[0],
  },
  apache: {
    start: (site, env) => [[apache2, ['-f', path.join(repo, 'site/apache2.conf'), '-DFOREGROUND'], env]],
    errorLog: (site) => path.join(site.state, 'apache2-error.log'),
    software: () => 'Apache',  // ServerTokens Prod
  },
  // nginx hands /cgi-bin/ to fcgiwrap, which runs the program as the
  // server's user and, with -f as Debian's fcgiwrap.service has it, passes
  // the program's standard error to nginx's error log; nginx takes no
  // environment in its configuration, so the paths are written into a copy
  // of it.
  nginx: {
    start: (site, env) => {
      let conf = fs.readFileSync(path.join(repo, 'site/nginx.conf'), 'utf8');
      for (const name of ['ORVIK_PORT', 'ORVIK_DOCROOT', 'ORVIK_CGIBIN', 'ORVIK_STATE', 'ORVIK_USER']) {
        conf = conf.replaceAll(`@${name}@`, env[name]);
      }
      const confFile = path.join(site.state, 'nginx.conf');
      fs.writeFileSync(confFile, conf);
      const socket = `unix:${fcgiwrapSocket(site)}`;
      const fcgiwrap = isRoot
        ? ['setpriv', ['--reuid', serverUser, '--regid', serverUser, '--init-groups', '/usr/sbin/fcgiwrap', '-f', '-s', socket]]
        : ['/usr/sbin/fcgiwrap', ['-f', '-s', socket]];
      return [
        ['/usr/sbin/nginx', ['-c', confFile, '-e', path.join(site.state, 'nginx-error.log'), '-g', 'daemon off;'], env],
        [...fcgiwrap, env],
      ];
    },
    // fcgiwrap's socket, for the second process: nginx answers 502 to a
    // request that comes before fcgiwrap listens.
    helperSockets: (site) => [{ path: fcgiwrapSocket(site) }],
    errorLog: (site) => path.join(site.state, 'nginx-error.log'),
    software: () => spawnSync('/usr/sbin/nginx', ['-v']).stderr.toString().trim().replace('nginx version: ', ''),
  },
  // The Debian package behind Debian's stock Apache configuration.
  debian: {
    start: (site, env) => [[apache2, ['-d', '/etc/apache2', '-f', path.join(repo, 'e2e/apache2-debian.conf'),
                                      '-DFOREGROUND'], {
      ...env,
      APACHE_RUN_USER: serverUser,
      APACHE_RUN_GROUP: serverUser,
      APACHE_PID_FILE: path.join(site.state, 'apache2.pid'),
      APACHE_RUN_DIR: site.state,
      APACHE_LOCK_DIR: site.state,
      APACHE_LOG_DIR: site.state,
    }]],
    errorLog: (site) => path.join(site.state, 'error.log'),
    software: () => execFileSync(apache2, ['-v']).toString().split('\n')[0].replace('Server version: ', ''),
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
  // Each in a process group of its own: Apache signals its whole group when
  // it stops.
  const children = server.start(site, env).map(([command, args, childEnv]) =>
    spawn(command, args, { env: childEnv, stdio: ['ignore', 'inherit', 'inherit'], detached: true }));
  const exited = children.map((child) => new Promise((resolve) => child.once('exit', resolve)));
  const killGroups = (signal) => {
    for (const child of children) {
      try { process.kill(-child.pid, signal); } catch { /* already gone */ }
    }
  };
  process.once('exit', () => killGroups('SIGKILL'));
  let software;
  try {
    await waitForListener({ port, host: '127.0.0.1' }, children[0]);
    for (const [i, where] of (server.helperSockets?.(site) ?? []).entries()) {
      await waitForListener(where, children[i + 1]);
    }
    software = server.software();
  } catch (error) {
    killGroups('SIGKILL');
    throw error;
  }
  return {
    kind,
    port,
    url: `http://127.0.0.1:${port}`,
    software,
    errorLog: server.errorLog(site),
    async stop() {
      if (children.some((child) => child.exitCode === null && child.signalCode === null)) {
        killGroups('SIGTERM');
        const timer = setTimeout(() => killGroups('SIGKILL'), 5000);
        await Promise.all(exited);
        clearTimeout(timer);
      }
      await sleep(200);  // let the groups' other processes go
      killGroups('SIGKILL');
    },
  };
}

function readMailbox(box = mailbox) {
  return fs.existsSync(box) ? fs.readFileSync(box) : Buffer.alloc(0);
}

// The messages of an mbox, each as { headers: [lines], body } in bytes as
// latin1 text. The blank line that separates messages is not part of a body,
// nor of the raw message.
function parseMailbox(bytes) {
  const text = bytes.toString('latin1');
  return text.split(/^(?=From \S+ )/m).filter((m) => m.startsWith('From ')).map((m) => {
    const end = m.indexOf('\n\n');
    const headers = m.slice(m.indexOf('\n') + 1, end).split('\n');
    const whole = m.endsWith('\n') ? m.slice(0, -1) : m;
    const body = whole.slice(end + 2);
    const raw = Buffer.from(whole.slice(m.indexOf('\n') + 1), 'latin1');
    return { headers, body, raw };
  });
}

// A message as a mail reader takes it: Python's email package with its
// default policy, which honours the MIME headers. Answers { headers, parts }:
// the header fields by name (unfolded, encoded words decoded), and each part
// that is not itself multipart as { type, charset, filename, body }, its body
// the bytes once the transfer encoding is undone, as latin1 text. A message
// of one part has one.
function readMail(raw) {
  const script = [
    'import email, email.policy, json, sys',
    'msg = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)',
    'parts = [p for p in msg.walk() if not p.is_multipart()]',
    'print(json.dumps({"headers": {k: str(v) for k, v in msg.items()}, "parts": [',
    '    {"type": p.get_content_type(), "charset": p.get_content_charset(), "filename": p.get_filename(),',
    '     "body": (p.get_payload(decode=True) or b"").decode("latin1")} for p in parts]}))',
  ].join('\n');
  return JSON.parse(execFileSync('python3', ['-c', script], { input: raw }).toString());
}

// Another host for the mail: the host's exim, configured as Debian's
// "mail sent by smarthost" configures it (every domain but the host's own
// goes to the smarthost), relays to e2e/smarthost.py on 127.0.0.2 (exim
// refuses a smarthost on its own address), which refuses a line over 998
// octets as Debian's exim does as an MX and keeps what it takes. stop()
// puts exim's configuration back as it was and answers whether it is, byte
// for byte.
const eximConf = '/etc/exim4/update-exim4.conf.conf';
const eximGenerated = '/var/lib/exim4/config.autogenerated';
const smarthostAddress = '127.0.0.2';

async function startSmarthost() {
  const port = await freePort(smarthostAddress);
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'orvik-smarthost-'));
  const child = spawn('/usr/bin/python3', [path.join(__dirname, 'smarthost.py'), smarthostAddress, String(port), folder],
                      { stdio: ['ignore', 'ignore', 'inherit'], detached: true });
  await waitForListener({ port, host: smarthostAddress }, child);
  const saved = fs.readFileSync(eximConf);
  const generated = fs.existsSync(eximGenerated) ? fs.readFileSync(eximGenerated) : null;
  let restored = false;
  const restore = () => {
    if (restored) return;
    restored = true;
    fs.writeFileSync(eximConf, saved);
    execFileSync('update-exim4.conf');
  };
  process.once('exit', restore);
  const conf = saved.toString('latin1')
    .replace(/^dc_eximconfig_configtype=.*$/m, "dc_eximconfig_configtype='smarthost'")
    .replace(/^dc_smarthost=.*$/m, `dc_smarthost='${smarthostAddress}::${port}'`);
  fs.writeFileSync(eximConf, conf);
  execFileSync('update-exim4.conf');
  return {
    port,
    // The received messages whose raw bytes hold `token`, as Buffers.
    async waitFor(token, timeoutMs = 30000) {
      const deadline = Date.now() + timeoutMs;
      for (;;) {
        const found = fs.readdirSync(folder).filter((f) => f.endsWith('.eml'))
          .map((f) => fs.readFileSync(path.join(folder, f)))
          .filter((m) => m.toString('latin1').includes(token));
        if (found.length > 0) return found;
        if (Date.now() > deadline) throw new Error(`no mail with ${token} reached the smarthost`);
        await sleep(200);
      }
    },
    async stop() {
      restore();
      try { process.kill(-child.pid, 'SIGTERM'); } catch { /* already gone */ }
      fs.rmSync(folder, { recursive: true, force: true });
      return fs.readFileSync(eximConf).equals(saved) &&
        (generated === null || fs.readFileSync(eximGenerated).equals(generated));
    },
  };
}

// Waits until `text` appears in the file `log`: the server's error log, where
// a CGI program's standard error lands.
async function waitForLog(log, text, timeoutMs = 10000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const lines = fs.existsSync(log) ? fs.readFileSync(log, 'latin1').split('\n') : [];
    const found = lines.find((line) => line.includes(text));
    if (found) return found;
    if (Date.now() > deadline) throw new Error(`${log} has no line with ${text}`);
    await sleep(100);
  }
}

// Waits until a message whose body holds `token` arrives in the mailbox `box`
// after `offset`.
async function waitForMail(offset, token, { box = mailbox, timeoutMs = 30000 } = {}) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const found = parseMailbox(readMailbox(box).subarray(offset)).filter((m) => m.body.includes(token));
    if (found.length > 0) return found;
    if (Date.now() > deadline) throw new Error(`no mail with ${token} reached ${box}`);
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


// What this build's pages and mail must be, printed by its e2e_expected
// from the black-box tests' expected texts (see e2e/expected.cc), as latin1
// text, so that it compares byte for byte. A page comes without its CGI
// header: what the server sends as the body.
function expected(...args) {
  return execFileSync(process.env.ORVIK_EXPECTED || path.join(buildDir, 'e2e/e2e_expected'), args).toString('latin1');
}

function page(...args) {
  const text = expected(...args);
  return text.slice(text.indexOf('\n\n') + 2);
}

const successPage = page('success');
const usagePage = page('usage');
const errorPage = (lines) => page('error', lines);
const lookoutPage = (shown) => page('lookout', shown);
const thanksPage = (url) => page('thanks', url);
// The page that refuses the file `name` for `why` (name, kind, bytes or
// limit), of a form with these --attachments and --attachments-max.
const fileRefusedPage = (name, why, kinds, most) => page('file-refused', name, why, kinds, most);

// folio's page for fields as the browser encoded them (name, value pairs).
const echoPage = (pairs) => page('echo', ...pairs.flat());

// The contact form's mail through `server`, from the browser `agent`, with
// `values` in the form-values section: { headers: [lines], body }, the body
// with LF line ends. `script` is the wrapper's URL, `to` its recipient,
// `subject` its subject, `charset` and `encoding` name the MIME lines (none
// by default), and
// `replyTo` is where replies go (by default the recipient).
function contactMail(server, agent, values, { script = '/cgi-bin/orvik/contact', to = 'formmail@localhost',
  subject = 'ORVIK contact form', charset = '', encoding = '', replyTo = '' } = {}) {
  const text = expected('mail', to, subject, charset, encoding, replyTo, values,
    '(unknown)', '127.0.0.1', agent, '127.0.0.1', String(server.port), server.software, 'HTTP/1.1', 'CGI/1.1',
    script);
  const end = text.indexOf('\n\n');
  return { headers: text.slice(0, end).split('\n'), body: text.slice(end + 2).replaceAll('\r\n', '\n') };
}

// Headless Chromium, as this machine lets it run: no sandbox (root), no GPU,
// and none of its own connections to the outside.
function launchChromium() {
  // Loaded here: only the tests that drive a browser need it installed.
  const { chromium } = require('playwright-core');
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// A small, whole PDF of one page that says `text`, its cross-reference
// table's offsets right.
function examplePdf(text) {
  const objects = [
    '<< /Type /Catalog /Pages 2 0 R >>',
    '<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
    '<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R ' +
      '/Resources << /Font << /F1 5 0 R >> >> >>',
    `<< /Length ${`BT /F1 18 Tf 72 770 Td (${text}) Tj ET`.length} >>\nstream\nBT /F1 18 Tf 72 770 Td (${text}) Tj ET\nendstream`,
    '<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>',
  ];
  let pdf = '%PDF-1.4\n';
  const offsets = objects.map((object, i) => {
    const at = pdf.length;
    pdf += `${i + 1} 0 obj\n${object}\nendobj\n`;
    return at;
  });
  const xref = pdf.length;
  pdf += `xref\n0 ${objects.length + 1}\n0000000000 65535 f \n`;
  for (const at of offsets) pdf += `${String(at).padStart(10, '0')} 00000 n \n`;
  pdf += `trailer\n<< /Size ${objects.length + 1} /Root 1 0 R >>\nstartxref\n${xref}\n%%EOF\n`;
  return Buffer.from(pdf, 'latin1');
}

function sha256(bytes) {
  return require('node:crypto').createHash('sha256').update(bytes).digest('hex');
}

function token() {
  return `t${process.pid}x${Date.now().toString(36)}${Math.floor(Math.random() * 1e6)}`;
}

module.exports = {
  repo, buildDir, mailbox, isRoot, serverUser, httpRequest, rawRequest, requirePrerequisites, stageSite, stageDebianPackage, startServer,
  wrapperOptions, readMailbox, parseMailbox, readMail, waitForMail, startSmarthost, waitForLog, sleep, inOrder, echoPage,
  successPage, errorPage, usagePage, lookoutPage, thanksPage, fileRefusedPage, contactMail, token, launchChromium,
  examplePdf, sha256,
};

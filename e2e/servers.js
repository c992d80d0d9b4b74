// The servers a visitor's request goes through: the site staged from the
// build folder as the README installs it, lighttpd, Apache httpd or nginx
// with fcgiwrap on a free loopback port with the repository's configuration
// (or Debian's stock Apache for the package), requests to them as bytes, and
// the browser that fills the site's forms.
'use strict';

const { execFileSync, spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');

const { repo, buildDir, isRoot, serverUser, sleep, waitUntil, freePort, waitForListener } = require('./common');

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

// Waits until `text` appears in the file `log`: the server's error log, where
// a CGI program's standard error lands.
function waitForLog(log, text, timeoutMs = 10000) {
  return waitUntil(() => {
    const lines = fs.existsSync(log) ? fs.readFileSync(log, 'latin1').split('\n') : [];
    return lines.find((line) => line.includes(text));
  }, { what: `a line with ${text} in ${log}`, timeoutMs, every: 100 });
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

module.exports = {
  httpRequest, rawRequest, makeReadable, placeExamples, exampleWrappers, stageSite, startServer, waitForLog,
  launchChromium,
};

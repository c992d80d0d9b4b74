// What the end-to-end tests change on the host, and how it is put back:
//   - exim's configuration (/etc/exim4/update-exim4.conf.conf and the
//     configuration update-exim4.conf makes of it): the smarthost;
//   - the package orvik-cgi, installed and purged, with Apache's
//     configuration (/etc/apache2: the package's conffile, a2enmod cgid);
//   - the wrappers the tests write into /usr/lib/cgi-bin/orvik;
//   - the mailboxes the bounces land in (/var/mail/www-data, /var/mail/bounces).
// save(folder) notes how they are; restore(folder) puts back each that
// changed and answers what it mended. CTest runs both around the tests as a
// fixture (`node host.js save|restore FOLDER`), so that a test killed at its
// timeout leaves the host as it found it; guard() does the same in a test's
// own process on SIGINT and SIGTERM.
'use strict';

const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const { isRoot, serverUser } = require('./common');
const { debianPackage, packageStatus, apacheConfiguration } = require('./package');
const { eximConf, eximGenerated } = require('./relay');

const cgibin = '/usr/lib/cgi-bin/orvik';
const mailboxes = [`/var/mail/${serverUser}`, '/var/mail/bounces'];

function read(file) {
  return fs.existsSync(file) ? fs.readFileSync(file).toString('base64') : null;
}

// How the host is now, in the parts the tests change.
function snapshot() {
  return {
    exim: read(eximConf),
    eximGenerated: read(eximGenerated),
    packageInstalled: (packageStatus() || '').endsWith(' installed'),
    apache: fs.existsSync('/etc/apache2') ? apacheConfiguration() : {},
    cgibin: fs.existsSync(cgibin) ? fs.readdirSync(cgibin).sort() : null,
    mailboxes: Object.fromEntries(mailboxes.map((box) => [box, fs.existsSync(box) ? fs.statSync(box).size : null])),
  };
}

const stateFile = (folder) => path.join(folder, 'host.json');

function save(folder) {
  fs.mkdirSync(folder, { recursive: true });
  fs.writeFileSync(stateFile(folder), JSON.stringify(snapshot()));
}

// Puts back what differs from the state saved in `folder`; answers a line for
// each thing it put back.
function restore(folder) {
  const saved = JSON.parse(fs.readFileSync(stateFile(folder), 'utf8'));
  const now = snapshot();
  const mended = [];
  if (now.packageInstalled && !saved.packageInstalled) {
    execFileSync('apt-get', ['purge', '-y', '-q', debianPackage], { stdio: 'ignore',
      env: { ...process.env, DEBIAN_FRONTEND: 'noninteractive' } });
    mended.push(`purged ${debianPackage}`);
  }
  if (fs.existsSync(cgibin)) {
    for (const name of fs.readdirSync(cgibin)) {
      if (!(saved.cgibin || []).includes(name)) {
        fs.rmSync(path.join(cgibin, name), { force: true, recursive: true });
        mended.push(`removed ${path.join(cgibin, name)}`);
      }
    }
    if (saved.cgibin === null && fs.readdirSync(cgibin).length === 0) fs.rmdirSync(cgibin);
  }
  const apache = apacheConfiguration();
  for (const file of Object.keys(apache)) {
    if (!(file in saved.apache)) {
      fs.rmSync(file, { force: true });
      mended.push(`removed ${file}`);
    }
  }
  for (const [file, was] of Object.entries(saved.apache)) {
    if (apache[file] === was) continue;
    fs.rmSync(file, { force: true });
    fs.mkdirSync(path.dirname(file), { recursive: true });
    if (was.startsWith('-> ')) fs.symlinkSync(was.slice(3), file);
    else fs.writeFileSync(file, was, 'latin1');
    mended.push(`put back ${file}`);
  }
  if (now.exim !== saved.exim) {
    fs.writeFileSync(eximConf, Buffer.from(saved.exim, 'base64'));
    execFileSync('update-exim4.conf');
    mended.push(`put back ${eximConf}`);
  }
  // A smarthost whose test was killed serves on.
  if (spawnSync('pkill', ['-f', path.join(__dirname, 'smarthost.py')]).status === 0) mended.push('stopped the smarthost');
  for (const [box, size] of Object.entries(saved.mailboxes)) {
    if (now.mailboxes[box] === size) continue;
    if (size === null) fs.rmSync(box, { force: true });
    else fs.truncateSync(box, size);
    mended.push(`put back ${box}`);
  }
  return mended;
}

// Whether the host is as the state saved in `folder` says: the differences.
function differences(folder) {
  const saved = JSON.parse(fs.readFileSync(stateFile(folder), 'utf8'));
  const now = snapshot();
  return Object.keys(saved).filter((part) => JSON.stringify(saved[part]) !== JSON.stringify(now[part]));
}

// In a test's own process: on SIGINT or SIGTERM, puts the host back as it
// was when the process started (or as CTest's fixture saved it) and ends.
function guard() {
  if (!isRoot) return;
  let folder = process.env.ORVIK_HOST_STATE;
  if (!folder) {
    folder = fs.mkdtempSync(path.join(os.tmpdir(), 'orvik-host-'));
    save(folder);
    process.once('exit', () => fs.rmSync(folder, { recursive: true, force: true }));
  }
  for (const signal of ['SIGINT', 'SIGTERM']) {
    process.once(signal, () => {
      for (const line of restore(folder)) console.error(`host: ${line}`);
      process.exit(128 + os.constants.signals[signal]);
    });
  }
}

module.exports = { save, restore, differences, guard };

if (require.main === module) {
  const [what, folder] = process.argv.slice(2);
  if (!isRoot) {
    console.log('host: not root, so the tests change nothing here');
  } else if (what === 'save') {
    save(folder);
  } else if (what === 'restore') {
    for (const line of restore(folder)) console.log(`host: ${line}`);
  } else {
    console.error('usage: node host.js save|restore FOLDER');
    process.exit(2);
  }
}

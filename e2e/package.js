// The Debian package, built as Debian builds it, installed behind Debian's
// own Apache, and purged again.
'use strict';

const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const { repo, isRoot, serverUser } = require('./common');
const { makeReadable, placeExamples, exampleWrappers } = require('./servers');

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

module.exports = { stageDebianPackage, debianPackage, packageStatus, apacheConfiguration };

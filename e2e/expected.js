// What this build's pages and mail must be, byte for byte, from the expected
// texts the black-box tests hold (printed by e2e_expected), and the
// settings of the site's wrappers and of the package, read where they live.
'use strict';

const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const { repo, buildDir } = require('./common');

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

// The options of a wrapper of the repository's site (`file`, under site/),
// and its subject and recipient: { 'thanks-url': '/thanks.html', json: true,
// ..., subject, recipient }. The demo's contact wrapper is site/demo-contact.in.
function wrapperOptions(file) {
  const wrapper = fs.readFileSync(path.join(repo, 'site', file), 'utf8');
  const options = Object.fromEntries([...wrapper.matchAll(/ --([a-z-]+)(?:=(\S+))?/g)]
    .map((m) => [m[1], m[2] ?? true]));
  const [, subject, recipient] = wrapper.match(/ -s "([^"]*)" (\S+)\n/);
  return { ...options, subject, recipient };
}

// A setting the Debian package is built with (debian/rules), or undefined.
function packageSetting(name) {
  const rules = fs.readFileSync(path.join(repo, 'debian/rules'), 'utf8');
  return rules.match(new RegExp(`-D${name}=(\\S+)`))?.[1];
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

module.exports = {
  successPage, errorPage, usagePage, lookoutPage, thanksPage, fileRefusedPage, echoPage, contactMail,
  wrapperOptions, packageSetting, examplePdf, sha256,
};

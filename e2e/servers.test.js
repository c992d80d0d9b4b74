// The installed programs behind lighttpd, Apache httpd and nginx with
// fcgiwrap, and the Debian package behind Debian's stock Apache, with the
// host's mailer: each answer compared byte for byte, each mail read from the
// mailbox or from the other host it was relayed to, each failure's line
// found in the server's error log.
'use strict';

const lib = {
  ...require('./common'), ...require('./servers'), ...require('./package'), ...require('./relay'),
  ...require('./mail'), ...require('./expected'),
};

require('./host').guard();
lib.requirePrerequisites({ browser: true });

const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const { describe, it, before, after } = require('node:test');

const agent = 'ORVIK-e2e/1.0 (<check> & "quote")';
const form = 'application/x-www-form-urlencoded';

function request(server, method, target, { body, type } = {}) {
  const headers = { 'User-Agent': agent };
  if (type) headers['Content-Type'] = type;
  return lib.httpRequest(server.url + target, { method, headers, body });
}

// Runs `body` with a form's wrapper `name` in the site's CGI folder, as an
// administrator writes one: postern with `args`, the form's options, its
// subject and its recipient.
async function withWrapper(site, name, args, body) {
  const wrapper = path.join(site.cgibin, name);
  const quoted = args.map((arg) => `'${arg}'`).join(' ');
  fs.writeFileSync(wrapper, `#!/bin/sh\nexec '${site.postern}' ${quoted}\n`, { mode: 0o755 });
  try {
    return await body(`/cgi-bin/orvik/${name}`);
  } finally {
    fs.rmSync(wrapper);
  }
}

// Posts a contact form that must arrive, and checks that it is the only mail
// since `offset`: whatever was refused before it sent nothing. (A mail sent
// before it would have reached the mailbox first.)
async function onlyTheMarkerSince(server, offset) {
  const tag = lib.token();
  const answer = await request(server, 'POST', '/cgi-bin/orvik/contact', { body: `name=marker+${tag}`, type: form });
  assert.equal(answer.body, lib.successPage);
  await lib.waitForMail(offset, tag);
  const since = lib.parseMailbox(lib.readMailbox().subarray(offset));
  assert.deepEqual(since.map((m) => m.body.includes(tag)), [true]);
}

// The mail of a form to a recipient on another host, through the host's exim
// and a smarthost that refuses what Debian's exim refuses as an MX, read as a
// mail reader reads it: each case's decoded body, and its MIME headers.
let smarthost;
before(async () => { smarthost = await lib.startSmarthost(); });
after(async () => {
  if (smarthost) assert.ok(await smarthost.stop(), "exim's configuration is not as it was");
});

const letters = [...'Zażółć gęślą jaźń, '];
let paragraph = '';  // 2,000 bytes of UTF-8 without a line break
for (let i = 0; Buffer.byteLength(paragraph) < 2000; i += 1) paragraph += letters[i % letters.length];
const relayCases = [
  { what: 'a short form', message: 'Two seats\r\nplease', laidOut: 'Two seats\n         please', encoding: undefined },
  { what: 'a paragraph of 2,000 bytes in UTF-8', message: paragraph, laidOut: paragraph,
    encoding: 'quoted-printable', charset: 'unknown-8bit' },
  { what: 'CRs alone', message: 'one\rtwo\r\rthree', laidOut: 'one\r         two\r         \r         three',
    encoding: 'quoted-printable', charset: 'unknown-8bit' },
];

// One row a deployment: the programs installed from the build folder behind
// each server with the repository's configuration, and the Debian package
// behind Debian's own (as root only: it installs and removes the package).
const rows = [
  { kind: 'lighttpd', stage: lib.stageSite },
  { kind: 'apache', stage: lib.stageSite },
  { kind: 'nginx', stage: lib.stageSite },
  // The package names its mail's charset (debian/rules).
  { kind: 'debian', stage: lib.stageDebianPackage, needsRoot: true, charset: lib.packageSetting('POSTERN_MAIL_CHARSET') },
];

for (const row of rows) {
  describe(`through ${row.kind}`, { skip: row.needsRoot && !lib.isRoot && 'installing a package needs root' }, () => {
    let site;
    let server;
    before(async () => {
      site = row.stage();
      server = await lib.startServer(row.kind, site);
    });
    after(async () => {
      if (server) await server.stop();
      if (site) {
        const left = site.remove();
        if (row.kind === 'debian') assert.deepEqual(left, [], 'the package left files behind');
      }
    });

    it('mails the contact form and shows the success page', async () => {
      const tag = lib.token();
      const offset = lib.readMailbox().length;
      const body = `name=Zo%C3%AB+%C5%81ukasz+${tag}&email=zoe%40example.org&about=dates&about=fees` +
        '&message=Two+seats%2C+please%0D%0A10%25+off+%26+more%3D%3F';
      const answer = await request(server, 'POST', '/cgi-bin/orvik/contact', { body, type: form });
      assert.equal(answer.status, 200);
      assert.equal(answer.type, 'text/html');
      assert.equal(answer.body, lib.successPage);

      const [mail, ...more] = await lib.waitForMail(offset, tag);
      assert.equal(more.length, 0);
      // postern hands over the value's CR LF as it is; exim stores a line end as LF.
      const wanted = lib.contactMail(server, agent, `name: Zoë Łukasz ${tag}\n\n` +
        'email: zoe@example.org\n\nabout: dates\n\n       fees\n\n' +
        'message: Two seats, please\n         10% off & more=?\n\n');
      assert.ok(lib.inOrder(mail.headers, wanted.headers), mail.headers.join('\n'));
      assert.equal(mail.body, wanted.body);
    });

    it('refuses a GET and a wrong content type, sends no mail, and logs why', async () => {
      const offset = lib.readMailbox().length;
      const get = await request(server, 'GET', '/cgi-bin/orvik/contact?name=x');
      assert.equal(get.body, lib.errorPage(
        '<P>This program was invoked with an invalid\nrequest method (GET).</P>\n'));
      const plain = await request(server, 'POST', '/cgi-bin/orvik/contact',
        { body: 'name=x', type: 'text/plain;charset=UTF-8' });
      assert.equal(plain.body, lib.errorPage(
        '<P>This program was invoked with an invalid\ncontent type (text/plain;charset=UTF-8).</P>\n'));
      await lib.waitForLog(server.errorLog, 'postern: request method "GET" is not POST');
      await lib.waitForLog(server.errorLog,
        `postern: content type "text/plain;charset=UTF-8" is not ${form}`);
      await onlyTheMarkerSince(server, offset);
    });

    it('refuses arguments made from the query string, on the wrapper and on postern itself', async () => {
      const offset = lib.readMailbox().length;
      const attack = '?-s+Buy+now+victim%40elsewhere.example';
      const onWrapper = await request(server, 'POST', `/cgi-bin/orvik/contact${attack}`, { body: 'name=Eve&msg=spam', type: form });
      assert.equal(onWrapper.body, lib.usagePage);
      if (row.kind !== 'debian') {
        // A careless layout: postern itself in the CGI folder.
        const careless = path.join(site.cgibin, 'postern');
        fs.copyFileSync(site.postern, careless);
        fs.chmodSync(careless, 0o755);
        try {
          const direct = await request(server, 'POST', `/cgi-bin/orvik/postern${attack}`, { body: 'name=Eve&msg=spam', type: form });
          assert.equal(direct.body, lib.usagePage);
        } finally {
          fs.rmSync(careless);
        }
      }
      await lib.waitForLog(server.errorLog,
        'postern: bad arguments: query string "-s+Buy+now+victim%40elsewhere.example" holds no "="');
      await onlyTheMarkerSince(server, offset);
    });

    it('delivers to another host through a smarthost, whatever the lines', async () => {
      await withWrapper(site, 'relay', ['-s', 'ORVIK contact form', 'office@orvik.example'], async () => {
        for (const c of relayCases) {
          const tag = lib.token();
          const body = new URLSearchParams([['name', `Zoë ${tag}`], ['message', c.message]]).toString();
          const answer = await request(server, 'POST', '/cgi-bin/orvik/relay', { body, type: form });
          assert.equal(answer.body, lib.successPage, c.what);
          const [raw, ...more] = await smarthost.waitFor(tag);
          assert.equal(more.length, 0, c.what);
          const mail = lib.readMail(raw);
          assert.equal(mail.headers.To, 'office@orvik.example', c.what);
          const declared = row.charset && !c.encoding ? '8bit' : c.encoding;
          assert.equal(mail.headers['Content-Transfer-Encoding'], declared, c.what);
          if (declared) assert.equal(mail.parts[0].charset, (row.charset || c.charset).toLowerCase(), c.what);
          const wanted = lib.contactMail(server, agent, `name: Zoë ${tag}\n\nmessage: ${c.laidOut}\n\n`,
            { script: '/cgi-bin/orvik/relay' });
          assert.equal(mail.parts[0].body, wanted.body, c.what);
        }
      });
    });

    it("sends the visitor to a form's own thank-you page with a 303", async () => {
      await withWrapper(site, 'thanks', ['--thanks-url=/thanks.html', '-s', 'ORVIK contact form',
                                         'formmail@localhost'], async (url) => {
        const tag = lib.token();
        const offset = lib.readMailbox().length;
        const answer = await lib.rawRequest(server.url + url, {
          method: 'POST', headers: { 'Content-Type': form }, body: `name=${tag}` });
        const end = answer.indexOf('\r\n\r\n');
        const [status, ...headers] = answer.slice(0, end).split('\r\n');
        assert.match(status, /^HTTP\/1\.[01] 303 See Other$/);
        assert.ok(headers.includes('Location: /thanks.html'), headers.join('\n'));
        assert.ok(headers.some((h) => /^Content-type: text\/html$/i.test(h)), headers.join('\n'));
        assert.equal(answer.slice(end + 4), lib.thanksPage('/thanks.html'));
        await lib.waitForMail(offset, tag);
      });
    });

    it('returns a bounce to the envelope sender, or without one to the server s user', async () => {
      // The smarthost has no mailbox "nobody": exim's bounce goes back to
      // the mail's envelope sender.
      const rows = [
        { args: ['--envelope-sender=bounces@localhost'], box: '/var/mail/bounces' },
        { args: [], box: `/var/mail/${lib.serverUser}` },
      ];
      for (const row of rows) {
        const before = fs.existsSync(row.box) ? fs.statSync(row.box).size : null;
        try {
          await withWrapper(site, 'bouncing', [...row.args, 'nobody@orvik.example'], async (url) => {
            const tag = lib.token();
            const answer = await request(server, 'POST', url, { body: `name=${tag}`, type: form });
            assert.equal(answer.body, lib.successPage);
            const [bounce] = await lib.waitForMail(before ?? 0, tag, { box: row.box });
            assert.ok(bounce.body.includes('nobody@orvik.example'), bounce.body);
            assert.ok(bounce.headers.some((h) => /^Subject: Mail delivery failed/.test(h)), bounce.headers.join('\n'));
          });
        } finally {
          // The server's user's mailbox as it was.
          if (before === null) fs.rmSync(row.box, { force: true });
          else fs.truncateSync(row.box, before);
        }
      }
    });

    if (row.kind === 'debian') {
      it('is a package lintian and hardening-check find clean', () => {
        assert.equal(site.lintian.status, 0, site.lintian.output);
        assert.equal(site.hardening.status, 0, site.hardening.output);
        console.log(`lintian -I --pedantic:\n${site.lintian.output}hardening-check:\n${site.hardening.output}`);
      });
    }

    it('takes a résumé with the application form in Chromium, and refuses a .pdf that is not one', async () => {
      const apply = lib.wrapperOptions('cgi-bin/apply.in');
      const pdf = lib.examplePdf('Zoe Lukasz, resume');
      const browser = await lib.launchChromium();
      try {
        const page = await browser.newPage();
        // Fills the application form and sends `file` to its wrapper, or to
        // the wrapper at `action`; answers the answer's body.
        const send = async (name, file, action) => {
          await page.goto(`${server.url}/apply.html`);
          if (action) await page.evaluate((url) => { document.forms[0].action = url; }, action);
          await page.fill('#name', name);
          await page.fill('#email', 'zoe@example.org');
          await page.fill('#message', 'Two lines\nplease');
          await page.setInputFiles('#resume', file);
          const [posted] = await Promise.all([page.waitForRequest((r) => r.method() === 'POST'),
                                              page.click('button[type=submit]')]);
          const answer = await posted.response();
          return (await answer.body()).toString('latin1');
        };
        const values = (name, file, bytes) => `name: ${name}\n\nemail: zoe@example.org\n\n` +
          `message: Two lines\n         please\n\nresume: ${file} (${bytes} bytes, attached)\n\n`;
        const expectFiled = (mail, name, script, recipient) => {
          const read = lib.readMail(mail);
          assert.deepEqual(read.parts.map((p) => [p.type, p.filename]),
                           [['text/plain', null], ['application/pdf', 'résumé.pdf']]);
          const wanted = lib.contactMail(server, agent, values(name, 'résumé.pdf', pdf.length), {
            script, to: recipient, subject: apply.subject, charset: apply['mail-charset'], encoding: '8bit',
            replyTo: 'zoe@example.org' });
          assert.equal(read.parts[0].body, wanted.body);
          assert.equal(lib.sha256(Buffer.from(read.parts[1].body, 'latin1')), lib.sha256(pdf));
        };

        const tag = lib.token();
        const offset = lib.readMailbox().length;
        const resume = { name: 'résumé.pdf', mimeType: 'application/pdf', buffer: pdf };
        assert.equal(await send(`Zoë ${tag}`, resume), lib.successPage);
        const agent = await page.evaluate(() => navigator.userAgent);
        const [mail] = await lib.waitForMail(offset, tag);
        expectFiled(mail.raw, `Zoë ${tag}`, '/cgi-bin/orvik/apply', apply.recipient);

        // The same form to another host, through the smarthost.
        await withWrapper(site, 'apply-relay', [`--attachments=${apply.attachments}`,
          `--mail-charset=${apply['mail-charset']}`, '--reply-to-field=email', '-s', apply.subject,
          'office@orvik.example'], async (url) => {
          const relayTag = lib.token();
          assert.equal(await send(`Zoë ${relayTag}`, resume, url), lib.successPage);
          const [raw] = await smarthost.waitFor(relayTag);
          expectFiled(raw, `Zoë ${relayTag}`, url, 'office@orvik.example');
        });

        const before = lib.readMailbox().length;
        const refused = await send('Eve', { name: 'fake.pdf', mimeType: 'application/pdf', buffer: Buffer.from('MZ not a PDF') });
        assert.equal(refused, lib.fileRefusedPage('fake.pdf', 'bytes', apply.attachments, apply['attachments-max']));
        await lib.waitForLog(server.errorLog, 'postern: file "fake.pdf" does not begin as a .pdf file does');
        await onlyTheMarkerSince(server, before);
      } finally {
        await browser.close();
      }
    });

    it('answers a script on the site\'s other origin in JSON, and lets it read the answer', async () => {
      // The site's pages on another origin: another port of the same host.
      const pages = http.createServer((request, response) => {
        response.setHeader('Content-Type', 'text/html; charset=utf-8');
        response.end('<!DOCTYPE html><meta charset="utf-8"><title>Pages</title>');
      });
      await new Promise((resolve) => pages.listen(0, '127.0.0.1', resolve));
      const origin = `http://127.0.0.1:${pages.address().port}`;
      const browser = await lib.launchChromium();
      try {
        await withWrapper(site, 'scripted', ['--json', `--allow-origin=${origin}`, '-s', 'ORVIK contact form',
                                             'formmail@localhost'], async (url) => {
          const page = await browser.newPage();
          await page.goto(`${origin}/`);
          const post = (type, body) => page.evaluate(async ([target, contentType, data]) => {
            const answer = await fetch(target, { method: 'POST', body: data,
              headers: { 'Content-Type': contentType, Accept: 'application/json' } });
            return { status: answer.status, body: await answer.text() };
          }, [server.url + url, type, body]);

          const tag = lib.token();
          const offset = lib.readMailbox().length;
          assert.deepEqual(await post(form, `name=${tag}`), { status: 200, body: '{"ok":true}\n' });
          await lib.waitForMail(offset, tag);
          assert.deepEqual(await post('text/plain', `name=${tag}`), { status: 415,
            body: '{"ok":false,"error":"This program was invoked with an invalid content type (text/plain)."}\n' });
        });
      } finally {
        await browser.close();
        pages.close();
      }
    });

    it('echoes the workshop form with folio', async () => {
      const body = 'name=Zo%C3%AB&goal=A+%26+B&topic=layout&topic=interviews';
      const answer = await request(server, 'POST', '/cgi-bin/orvik/folio', { body, type: form });
      assert.equal(answer.status, 200);
      assert.equal(answer.body, lib.echoPage([
        ['name', 'Zo%C3%AB'], ['goal', 'A+%26+B'], ['topic', 'layout'], ['topic', 'interviews']]));
    });

    it('names the browser with lookout', async () => {
      const answer = await request(server, 'GET', '/cgi-bin/orvik/lookout');
      assert.equal(answer.body, lib.lookoutPage('ORVIK-e2e/1.0 (&lt;check&gt; &amp; &quot;quote&quot;)'));
    });

    it('serves the pages and the banner image', async () => {
      // The pages' banner, and folio's: ../IMAGES/orvik_2.gif from /cgi-bin/orvik/folio.
      for (const url of ['/IMAGES/orvik_2.gif', '/cgi-bin/IMAGES/orvik_2.gif']) {
        const image = await request(server, 'GET', url);
        assert.equal(image.type, 'image/gif', url);
        assert.equal(image.body, fs.readFileSync(path.join(lib.repo, 'site/htdocs/IMAGES/orvik_2.gif')).toString('latin1'), url);
      }
      for (const page of ['/', '/workshop.html', '/contact.html']) {
        const answer = await request(server, 'GET', page);
        assert.equal(answer.status, 200, page);
      }
    });
  });
}

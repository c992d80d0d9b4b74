// The installed programs behind lighttpd and Apache httpd, with the host's
// mailer: each answer compared byte for byte, each mail read from the mailbox.
'use strict';

const lib = require('./lib');

lib.requirePrerequisites();

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { describe, it, before, after } = require('node:test');

const agent = 'ORVIK-e2e/1.0 (<check> & "quote")';

async function request(server, method, target, { body, type } = {}) {
  const headers = { 'User-Agent': agent };
  if (type) headers['Content-Type'] = type;
  const response = await fetch(server.url + target, { method, headers, body });
  return { status: response.status, type: response.headers.get('content-type'),
           body: Buffer.from(await response.arrayBuffer()).toString('latin1') };
}

for (const kind of ['lighttpd', 'apache']) {
  describe(`through ${kind}`, () => {
    let site;
    let server;
    before(async () => {
      site = lib.stageSite();
      server = await lib.startServer(kind, site);
    });
    after(async () => {
      if (server) await server.stop();
      if (site) site.remove();
    });

    it('mails the contact form and shows the success page', async () => {
      const tag = lib.token();
      const offset = lib.readMailbox().length;
      const body = `name=Zo%C3%AB+%C5%81ukasz+${tag}&email=zoe%40example.org&about=dates&about=fees` +
        '&message=Two+seats%2C+please%0D%0A10%25+off+%26+more%3D%3F';
      const answer = await request(server, 'POST', '/cgi-bin/contact',
        { body, type: 'application/x-www-form-urlencoded' });
      assert.equal(answer.status, 200);
      assert.equal(answer.type, 'text/html');
      assert.equal(answer.body, lib.successPage);

      const [mail, ...more] = await lib.waitForMail(offset, tag);
      assert.equal(more.length, 0);
      assert.ok(lib.inOrder(mail.headers, lib.contactHeaders), mail.headers.join('\n'));
      // postern hands over the value's CR LF as it is; exim stores a line end as LF.
      assert.equal(mail.body, lib.bytes(lib.contactReport(server, agent) +
        `name: Zoë Łukasz ${tag}\n\n` +
        'email: zoe@example.org\n\n' +
        'about: dates\n\n' +
        '       fees\n\n' +
        'message: Two seats, please\n' +
        '         10% off & more=?\n\n'));
    });

    it('refuses a GET and a wrong content type, and sends no mail', async () => {
      const before = lib.readMailbox().length;
      const get = await request(server, 'GET', '/cgi-bin/contact?name=x');
      assert.equal(get.body, lib.errorPage(
        '<P>This program was invoked with an invalid\nrequest method (GET).</P>\n'));
      const plain = await request(server, 'POST', '/cgi-bin/contact',
        { body: 'name=x', type: 'text/plain;charset=UTF-8' });
      assert.equal(plain.body, lib.errorPage(
        '<P>This program was invoked with an invalid\ncontent type (text/plain;charset=UTF-8).</P>\n'));
      await lib.sleep(1500);
      assert.equal(lib.readMailbox().length, before);
    });

    it('echoes the workshop form with folio', async () => {
      const body = 'name=Zo%C3%AB&goal=A+%26+B&topic=layout&topic=interviews';
      const answer = await request(server, 'POST', '/cgi-bin/folio',
        { body, type: 'application/x-www-form-urlencoded' });
      assert.equal(answer.status, 200);
      assert.equal(answer.body, lib.echoPage([
        ['name', 'Zo%C3%AB'], ['goal', 'A+%26+B'], ['topic', 'layout'], ['topic', 'interviews']]));
    });

    it('names the browser with lookout', async () => {
      const answer = await request(server, 'GET', '/cgi-bin/lookout');
      assert.equal(answer.body,
        'I detect the following Web Browser: ORVIK-e2e/1.0 (&lt;check&gt; &amp; &quot;quote&quot;)\n');
    });

    it('serves the pages and the banner image', async () => {
      const image = await request(server, 'GET', '/IMAGES/orvik_2.gif');
      assert.equal(image.type, 'image/gif');
      assert.equal(image.body, fs.readFileSync(path.join(lib.repo, 'site/htdocs/IMAGES/orvik_2.gif')).toString('latin1'));
      for (const page of ['/', '/workshop.html', '/contact.html']) {
        const answer = await request(server, 'GET', page);
        assert.equal(answer.status, 200, page);
      }
    });
  });
}

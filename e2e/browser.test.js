// A visitor in headless Chromium fills the demo site's two forms (the
// demo's contact wrapper turns on a spam trap, mail declared in the pages'
// charset, replies to the visitor's address, the site's thank-you page); the echo
// page must show each field exactly as Chromium encoded it, and the contact
// form's mail must hold the decoded values in order, as a mail reader
// decodes them, a paragraph too long for one line of mail included, with
// Reply-To the address typed; the visitor lands on the thank-you page. A
// robot that fills the trap field is sent there too and sends no mail; one
// that forges an address gets replies sent to the recipient.
'use strict';

const lib = {
  ...require('./common'), ...require('./servers'), ...require('./package'), ...require('./relay'),
  ...require('./mail'), ...require('./expected'),
};

require('./host').guard();
lib.requirePrerequisites({ browser: true });

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { describe, it, before, after } = require('node:test');

const shots = path.join(lib.buildDir, 'e2e-screenshots');
const demo = lib.wrapperOptions('demo-contact.in');
// The demo declares its pages' charset in the mail.
const demoMime = { charset: demo['mail-charset'], encoding: '8bit' };

describe('in Chromium through lighttpd', () => {
  let site;
  let server;
  let browser;
  let page;   // scripts on
  let plain;  // scripts off: the forms post as the browser posts them

  before(async () => {
    fs.mkdirSync(shots, { recursive: true });
    site = lib.stageSite({ demo: true });
    server = await lib.startServer('lighttpd', site);
    browser = await lib.launchChromium();
    page = await browser.newPage();
    plain = await (await browser.newContext({ javaScriptEnabled: false })).newPage();
  });

  after(async () => {
    if (browser) await browser.close();
    if (server) await server.stop();
    if (site) site.remove();
  });

  // Submits the form on the page `on` and answers what Chromium posted and
  // got (no answer's body for a redirect, which Chromium follows).
  async function submit(on, button) {
    const [request] = await Promise.all([
      on.waitForRequest((r) => r.method() === 'POST'),
      on.click(button),
    ]);
    const response = await request.response();
    await on.waitForLoadState('load');
    const answer = response.status() === 303 ? null : (await response.body()).toString('latin1');
    return { posted: request.postData(), answer, response };
  }

  // The contact form was sent without scripts, and Chromium landed on the
  // thank-you page.
  async function landedOnThanks(response, shot) {
    assert.equal(response.status(), 303);
    assert.equal(response.headers().location, demo['thanks-url']);
    assert.equal(plain.url(), `${server.url}${demo['thanks-url']}`);
    assert.equal(await plain.textContent('h1'), 'Thank you');
    await plain.screenshot({ path: path.join(shots, shot), fullPage: true });
  }

  it('echoes the workshop form as Chromium encoded it', async () => {
    await page.goto(`${server.url}/`);
    await page.screenshot({ path: path.join(shots, 'home.png'), fullPage: true });
    await page.click('text=Register for the resume workshop');
    await page.fill('#name', 'Zoë Łukasz');
    await page.fill('#email', 'zoe+workshop@example.org');
    await page.fill('#goal', 'Q&A lead = 100% + more');
    await page.selectOption('#session', 'wed-pm');
    await page.check('#t-layout');
    await page.check('#t-interview');
    await page.fill('#experience', 'Ten years at "Acme" <retail>\nthen 2 years & counting');
    await page.screenshot({ path: path.join(shots, 'workshop-form.png'), fullPage: true });

    const { posted, answer } = await submit(page, 'button[type=submit]');
    await page.screenshot({ path: path.join(shots, 'workshop-echo.png'), fullPage: true });

    // folio shows each field as Chromium encoded it.
    const pairs = posted.split('&').map((field) => {
      const at = field.indexOf('=');
      return [field.slice(0, at), field.slice(at + 1)];
    });
    assert.equal(answer, lib.echoPage(pairs));
    assert.equal(await page.textContent('font'), 'ORVIK Resume Workshop');
    assert.equal(await page.evaluate(() => document.images[0].naturalWidth), 66);  // the banner loaded
  });

  it('mails the contact form with the values decoded and aligned', async () => {
    const tag = lib.token();
    const offset = lib.readMailbox().length;
    await plain.goto(`${server.url}/contact.html`);
    await plain.fill('#name', `Łukasz Zoë ${tag}`);
    await plain.fill('#email', 'lukasz@example.org');
    await plain.check('#a-dates');
    await plain.check('#a-fees');
    await plain.fill('#message', 'Hello,\nTwo seats & a 10% discount = fair?\n  (indented) + done');
    await plain.screenshot({ path: path.join(shots, 'contact-form.png'), fullPage: true });

    const { response } = await submit(plain, 'button[type=submit]');
    await landedOnThanks(response, 'contact-thanks.png');

    const agent = await page.evaluate(() => navigator.userAgent);
    const [mail, ...more] = await lib.waitForMail(offset, tag);
    assert.equal(more.length, 0);
    // Chromium sends the textarea's line ends as CR LF; exim stores them as LF.
    const wanted = lib.contactMail(server, agent, `name: Łukasz Zoë ${tag}\n\n` +
      'email: lukasz@example.org\n\nabout: dates\n\n       fees\n\n' +
      'message: Hello,\n         Two seats & a 10% discount = fair?\n           (indented) + done\n\n',
    { ...demoMime, replyTo: 'lukasz@example.org' });
    assert.ok(lib.inOrder(mail.headers, wanted.headers), mail.headers.join('\n'));
    assert.equal(mail.body, wanted.body);
    // The trap field, left empty by a person, is not in the mail; a mail
    // reader takes the declared UTF-8.
    const [read] = lib.readMail(mail.raw).parts;
    assert.equal(read.type, 'text/plain');
    assert.equal(read.charset, demo['mail-charset'].toLowerCase());
    const content = Buffer.from(read.body, 'latin1').toString('utf8');
    assert.ok(content.includes(`\nname: Łukasz Zoë ${tag}\n`), content);
    assert.ok(content.includes('\nmessage: Hello,\n         Two seats & a 10% discount = fair?\n' +
                               '           (indented) + done\n\n'), content);
    assert.ok(!content.includes(demo['trap-field']), content);
  });

  it('mails a paragraph of 2,000 characters unchanged', async () => {
    const tag = lib.token();
    const offset = lib.readMailbox().length;
    const letters = [...'Zażółć gęślą jaźń, Ελληνικά κείμενα. '];
    const paragraph = Array.from({ length: 2000 }, (_, i) => letters[i % letters.length]).join('');
    await plain.goto(`${server.url}/contact.html`);
    await plain.fill('#name', `Long ${tag}`);
    await plain.fill('#email', 'long@example.org');
    await plain.fill('#message', paragraph);
    const { response } = await submit(plain, 'button[type=submit]');
    await landedOnThanks(response, 'contact-long-thanks.png');

    const agent = await page.evaluate(() => navigator.userAgent);
    const [mail] = await lib.waitForMail(offset, tag);
    // Lines of more than 998 octets: the body goes quoted-printable, in the
    // charset the site's pages declare, and reads back as it was typed.
    const wanted = lib.contactMail(server, agent,
      `name: Long ${tag}\n\nemail: long@example.org\n\nmessage: ${paragraph}\n\n`,
      { charset: demo['mail-charset'], encoding: 'quoted-printable', replyTo: 'long@example.org' });
    assert.ok(lib.inOrder(mail.headers, wanted.headers), mail.headers.join('\n'));
    const [read] = lib.readMail(mail.raw).parts;
    assert.equal(read.body, wanted.body);
  });

  it('takes a robot that fills the trap field for a success, and mails nothing', async () => {
    const offset = lib.readMailbox().length;
    const robot = await lib.httpRequest(`${server.url}/cgi-bin/orvik/contact`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
      body: `name=Cheap+pills&email=bot%40spam.example&message=Buy+now&${demo['trap-field']}=http%3A%2F%2Fspam.example`,
    });
    assert.equal(robot.status, 303);
    assert.equal(robot.body, lib.thanksPage(demo['thanks-url']));
    await lib.waitForLog(server.errorLog, 'postern: trap field filled; not mailed (remote address "127.0.0.1")');
    // A person's post after it arrives alone.
    const tag = lib.token();
    await plain.goto(`${server.url}/contact.html`);
    await plain.fill('#name', `Marker ${tag}`);
    await plain.fill('#email', 'marker@example.org');
    await plain.fill('#message', 'after the robot');
    await submit(plain, 'button[type=submit]');
    await lib.waitForMail(offset, tag);
    const since = lib.parseMailbox(lib.readMailbox().subarray(offset));
    assert.deepEqual(since.map((m) => m.body.includes(tag)), [true]);
  });

  it('sends replies to the recipient when a robot forges the address', async () => {
    const tag = lib.token();
    const offset = lib.readMailbox().length;
    const robot = await lib.httpRequest(`${server.url}/cgi-bin/orvik/contact`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
      body: `name=Robot+${tag}&email=a@b.example%0ABcc:+victim@elsewhere.example&message=Buy+now`,
    });
    assert.equal(robot.status, 303);
    const [mail, ...more] = await lib.waitForMail(offset, tag);
    assert.equal(more.length, 0);
    const wanted = lib.contactMail(server, '(unknown)', `name: Robot ${tag}\n\n` +
      'email: a@b.example\n       Bcc: victim@elsewhere.example\n\nmessage: Buy now\n\n', demoMime);
    assert.ok(lib.inOrder(mail.headers, wanted.headers), mail.headers.join('\n'));
    assert.equal(mail.body, wanted.body);
  });

  it('sends the contact form with its script and shows the outcome in the page', async () => {
    const tag = lib.token();
    const offset = lib.readMailbox().length;
    await page.goto(`${server.url}/contact.html`);
    await page.fill('#name', `Script ${tag}`);
    await page.fill('#email', 'script@example.org');
    await page.fill('#message', 'Sent with fetch()');
    const [answer] = await Promise.all([page.waitForResponse((r) => r.request().method() === 'POST'),
                                        page.click('button[type=submit]')]);
    assert.equal(answer.status(), 200);
    assert.equal((await answer.body()).toString(), `{"ok":true,"next":"${demo['thanks-url']}"}\n`);
    await page.waitForFunction(() => document.getElementById('outcome').textContent !== '');
    assert.equal(await page.textContent('#outcome'), 'Thank you: your message is on its way to the office.');
    assert.equal(page.url(), `${server.url}/contact.html`);
    await page.screenshot({ path: path.join(shots, 'contact-script-sent.png'), fullPage: true });
    await lib.waitForMail(offset, tag);

    // A refusal's sentence: the wrapper refuses arguments a query string
    // without "=" might have made.
    await page.goto(`${server.url}/contact.html`);
    await page.evaluate(() => { document.forms[0].action = '/cgi-bin/orvik/contact?x'; });
    await page.fill('#name', 'Script');
    await page.fill('#email', 'script@example.org');
    await page.fill('#message', 'refused');
    await page.click('button[type=submit]');
    await page.waitForFunction(() => document.getElementById('outcome').textContent !== '');
    assert.equal(await page.textContent('#outcome'),
                 'The arguments to this program have been impromperly specified on the server side.');
    await page.screenshot({ path: path.join(shots, 'contact-script-refused.png'), fullPage: true });
  });

  it('names the browser', async () => {
    await page.goto(`${server.url}/`);
    await page.click('text=Which browser am I using?');
    const agent = await page.evaluate(() => navigator.userAgent);
    assert.equal(await page.textContent('body'), lib.lookoutPage(agent));
    await page.screenshot({ path: path.join(shots, 'lookout.png'), fullPage: true });
  });
});

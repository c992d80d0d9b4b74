// Reading the mail the tests sent: the local mailboxes exim delivers into,
// and each message as a mail reader takes it.
'use strict';

const { execFileSync } = require('node:child_process');
const fs = require('node:fs');

const { mailbox, waitUntil } = require('./common');

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

// Waits until a message whose body holds `token` arrives in the mailbox `box`
// after `offset`.
function waitForMail(offset, token, { box = mailbox, timeoutMs = 30000 } = {}) {
  return waitUntil(() => {
    const found = parseMailbox(readMailbox(box).subarray(offset)).filter((m) => m.body.includes(token));
    return found.length > 0 && found;
  }, { what: `a mail with ${token} in ${box}`, timeoutMs });
}

module.exports = { readMailbox, parseMailbox, readMail, waitForMail };

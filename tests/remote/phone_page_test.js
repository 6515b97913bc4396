// The phone page's script in node, against a fake browser: the token leaves
// the address once read, and a page whose socket closes backs off and stops
// after repeated refusals, saying so.
//
//   node phone_page_test.js PAGE_HTML

"use strict";
const assert = require("assert");
const fs = require("fs");
const vm = require("vm");

const html = fs.readFileSync(process.argv[2], "utf8");
const script = html.slice(html.indexOf("<script>") + 8, html.indexOf("</script>"));

const elements = {};
const element = (id) =>
  (elements[id] ??= {
    textContent: "",
    classList: { toggle() {}, add() {}, remove() {} },
    addEventListener() {},
  });
const timers = [];
const sockets = [];
const probes = [];
const answers = [];
const stored = new Map();
let address = "/?token=abc";

class FakeSocket {
  constructor(url) {
    this.url = url;
    sockets.push(this);
  }
}
FakeSocket.OPEN = 1;

vm.runInNewContext(script, {
  location: { search: "?token=abc", pathname: "/", host: "phone.test:8470" },
  history: { replaceState: (state, title, url) => { address = url; } },
  sessionStorage: { getItem: (k) => stored.get(k) ?? null, setItem: (k, v) => stored.set(k, v) },
  document: { getElementById: element },
  WebSocket: FakeSocket,
  fetch: (url) => {
    probes.push(url);
    return Promise.resolve({ status: answers.shift() });
  },
  setTimeout: (task, ms) => timers.push({ task, ms }),
  URLSearchParams,
  JSON,
  Math,
});

async function main() {
  assert.strictEqual(address, "/", "the token stays in the address");
  assert.strictEqual(stored.get("token"), "abc");
  assert.strictEqual(sockets.length, 1);
  assert.strictEqual(sockets[0].url, "ws://phone.test:8470/ws?token=abc");

  // Refused three times: the waits grow, then the page gives up and says so.
  sockets[0].onclose();
  const waits = [];
  for (let refusal = 0; refusal < 3; ++refusal) {
    const { task, ms } = timers.shift();
    waits.push(ms);
    answers.push(401);
    task();
    await new Promise((resolve) => setImmediate(resolve));
  }
  assert.deepStrictEqual(waits, [1000, 2000, 4000]);
  assert.strictEqual(probes.length, 3);
  assert.strictEqual(probes[0], "/ws?token=abc");
  assert.strictEqual(timers.length, 0, "the page keeps retrying a refused token");
  assert.match(element("link").textContent, /QRコード/);
  assert.strictEqual(sockets.length, 1);
  console.log("passed");
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});

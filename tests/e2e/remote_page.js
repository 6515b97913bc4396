// Drives the phone page in chromium for remote_test.py: opens it with touch
// on, reports its address once it is connected ("address URL") and the lamps
// as they change ("lamp melody true"), and touches the
// keys as the lines appended to the touch file say ({"key":"on","down":true}).
//
//   node remote_page.js CHROMIUM URL TOUCH_FILE

"use strict";
const fs = require("fs");
const puppeteer = require("puppeteer-core");

async function main() {
  const [browserPath, url, touchFile] = process.argv.slice(2);
  const browser = await puppeteer.launch({
    executablePath: browserPath,
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run"],
  });
  process.on("SIGTERM", () => browser.close().finally(() => process.exit(0)));
  const page = await browser.newPage();
  await page.setViewport({ width: 400, height: 700, hasTouch: true, isMobile: true });
  await page.exposeFunction("reportLamp", (name, lit) => console.log(`lamp ${name} ${lit}`));
  await page.goto(url);
  await page.evaluate(() => {
    for (const name of ["melody", "door"]) {
      const lamp = document.getElementById(name);
      new MutationObserver(() => window.reportLamp(name, lamp.classList.contains("lit")))
        .observe(lamp, { attributes: true, attributeFilter: ["class"] });
    }
  });
  // The socket is open once the first state has come.
  await page.waitForFunction(() => document.getElementById("link").textContent === "");
  await new Promise((resolve) => setTimeout(resolve, 300));
  console.log(`address ${await page.evaluate(() => location.href)}`);
  console.log("ready");

  fs.writeFileSync(touchFile, "", { flag: "a" });
  let done = 0;
  for (;;) {
    const lines = fs.readFileSync(touchFile, "utf8").split("\n").filter(Boolean);
    for (; done < lines.length; ++done) {
      const { key, down } = JSON.parse(lines[done]);
      const box = await (await page.$("#" + key)).boundingBox();
      const x = box.x + box.width / 2, y = box.y + box.height / 2;
      if (down) await page.touchscreen.touchStart(x, y);
      else await page.touchscreen.touchEnd();
      console.log(`touched ${key} ${down ? "down" : "up"}`);
    }
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});

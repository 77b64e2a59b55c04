// The station page in headless Chromium, as a person at a desk and one on a phone sees it: the
// meter's panel with live numbers, its mirrored display refreshing, the Up key pressed, nothing
// asked of any other host and nothing logged as an error.
// Usage: node station-page.mjs PAGE-URL ARTEFACT-DIR METER-NAME
// Exits 0 when every check passed, 1 with the reason otherwise.
import { mkdir } from "node:fs/promises";
import path from "node:path";
import puppeteer from "puppeteer-core";

const [pageUrl, artefacts, meterName] = process.argv.slice(2);
const CHROMIUM = process.env.FERROLOG_CHROMIUM || "/usr/bin/chromium";
// Generous: ctest runs other tests beside this one on a machine of two cores.
const WAIT_MS = 60_000;
const WHOLE_RUN_MS = 160_000;
const DESKTOP = { width: 1280, height: 900 };
const PHONE = { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true };
const PANEL = `section.meter[data-meter="${meterName}"]`;
const VALUES = `${PANEL} dd[data-key]`;
const SCREEN = `${PANEL} .screen img`;
const NUMBER = /^-?\d+(\.\d+)?$/;
// The closed network refuses whatever Chromium tries by itself, so it is told not to try.
const CHROMIUM_ARGS = [
    "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
    ...(process.getuid?.() === 0 ? ["--no-sandbox"] : []),
];

class PageFault extends Error {}
const fail = message => { throw new PageFault(message); };

// Records what must never happen on the page: another host asked, an error logged or thrown,
// an answer of the station's that is an error.
function watch(page, origin, faults) {
    page.on("request", request => {
        const url = new URL(request.url());
        if (url.protocol !== "data:" && url.origin !== origin) faults.push(`asked another host: ${url}`);
    });
    page.on("response", response => {
        if (response.status() >= 400) faults.push(`${response.status()} for ${response.url()}`);
    });
    page.on("console", message => {
        if (message.type() === "error") faults.push(`console error: ${message.text()}`);
    });
    page.on("pageerror", error => faults.push(`script error: ${error.message}`));
}

async function openPage(browser, viewport, faults) {
    const page = await browser.newPage();
    page.setDefaultTimeout(WAIT_MS);
    await page.setViewport(viewport);
    watch(page, new URL(pageUrl).origin, faults);
    await page.goto(pageUrl, { waitUntil: "load" });
    await page.waitForSelector(PANEL);
    return page;
}

const valueTexts = page => page.$$eval(VALUES, dds => dds.map(dd => dd.textContent));

// Every value shown as a number; the last values that were not, when the wait runs out.
async function waitForNumbers(page) {
    try {
        await page.waitForFunction(
            (selector, pattern) => {
                const dds = [...document.querySelectorAll(selector)];
                return dds.length > 0 && dds.every(dd => new RegExp(pattern).test(dd.textContent));
            },
            {}, VALUES, NUMBER.source);
    } catch {
        fail(`the panel's values never all became numbers: ${(await valueTexts(page)).join(" ")}`);
    }
    return valueTexts(page);
}

async function checkValuesChange(page) {
    const before = await waitForNumbers(page);
    try {
        await page.waitForFunction(
            (selector, was) =>
                [...document.querySelectorAll(selector)].map(dd => dd.textContent).join(" ") !== was,
            {}, VALUES, before.join(" "));
    } catch {
        fail(`the panel's values never changed from ${before.join(" ")}`);
    }
    const after = await waitForNumbers(page);
    console.log(`station-page: values went from ${before.join(" ")} to ${after.join(" ")}`);
}

// The display is shown once a picture has loaded, and then replaced by a newer one.
async function checkScreenRefreshes(page) {
    const loaded = (selector, was) => {
        const img = document.querySelector(selector);
        return img.src.includes("/screen.png") && img.src !== was && img.complete &&
               img.naturalWidth > 0 && img.src;
    };
    const first = await page.waitForFunction(loaded, {}, SCREEN, "").then(
        shown => shown.jsonValue(), () => fail("the display never loaded"));
    try {
        await page.waitForFunction(loaded, {}, SCREEN, first);
    } catch {
        fail(`the display never refreshed after ${first}`);
    }
}

async function checkLive(page) {
    try {
        await page.waitForFunction(() => document.getElementById("status").textContent === "live");
    } catch {
        fail(`the event stream never opened: "${await page.$eval("#status", s => s.textContent)}"`);
    }
    const state = await page.$eval(`${PANEL} .state`, s => s.textContent);
    if (state !== "up") fail(`the meter is shown as "${state}"`);
}

// A click as a person gives it; the station answers 204 once the key frame is on the line.
async function pressUp(page) {
    const answered = page.waitForResponse(
        r => r.request().method() === "POST" && r.url().endsWith(`/keys/up`));
    await page.click(`${PANEL} .keys button[data-key="up"]`);
    const status = (await answered).status();
    if (status !== 204) fail(`pressing Up was answered ${status}`);
    console.log("station-page: Up pressed, the station answered 204");
}

// A phone widens its viewport to hold a page that is too wide, so the bound is the phone's own
// width, not innerWidth alone.
async function checkFitsPhone(page) {
    await waitForNumbers(page);
    const fit = await page.evaluate(selector => ({
        scrollWidth: document.documentElement.scrollWidth,
        innerWidth: window.innerWidth,
        panelRight: document.querySelector(selector).getBoundingClientRect().right,
    }), PANEL);
    if (Math.max(fit.scrollWidth, fit.innerWidth, fit.panelRight) > PHONE.width)
        fail(`on a phone ${PHONE.width} px wide the page scrolls sideways: ${JSON.stringify(fit)}`);
}

async function screenshot(page, name) {
    const file = path.resolve(artefacts, name);
    await page.screenshot({ path: file, fullPage: true });
    console.log(`station-page: screenshot ${file}`);
}

async function run(browser, faults, pages) {
    const desk = await openPage(browser, DESKTOP, faults);
    pages.push(desk);
    await checkLive(desk);
    await checkValuesChange(desk);
    await checkScreenRefreshes(desk);
    await pressUp(desk);
    await screenshot(desk, "station-page.png");

    const phone = await openPage(browser, PHONE, faults);
    pages.push(phone);
    await checkFitsPhone(phone);
    await checkScreenRefreshes(phone);
    await screenshot(phone, "station-page-phone.png");
    if (faults.length) fail(faults.join("\n  "));
}

async function main() {
    if (!pageUrl || !artefacts || !meterName)
        fail("usage: node station-page.mjs PAGE-URL ARTEFACT-DIR METER-NAME");
    await mkdir(artefacts, { recursive: true });
    const browser = await puppeteer.launch({
        executablePath: CHROMIUM, headless: true, args: CHROMIUM_ARGS, timeout: WAIT_MS,
    });
    const faults = [], pages = [];
    try {
        await run(browser, faults, pages);
    } catch (error) {
        // What the page looked like when it went wrong, beside the other artefacts.
        if (pages.length) await screenshot(pages[pages.length - 1], "station-page-failed.png").catch(() => {});
        throw error;
    } finally {
        await browser.close();
    }
}

const guard = setTimeout(() => {
    console.error(`station-page: FAILED: not done after ${WHOLE_RUN_MS / 1000} s`);
    process.exit(1);
}, WHOLE_RUN_MS);
try {
    await main();
    console.log("station-page: the page shows the meter live, on a desk and on a phone");
    process.exitCode = 0;
} catch (error) {
    console.error(`station-page: FAILED: ${error instanceof PageFault ? error.message : error.stack}`);
    process.exitCode = 1;
} finally {
    clearTimeout(guard);
}

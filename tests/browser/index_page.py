#!/usr/bin/env python3
"""The archive's index.html as a person sees it: a target folder of three bags is checked by
`dravolin-archive verify`, which writes the page, and the page is opened in headless Chromium,
driven over the DevTools protocol on a pipe, with no network. Its table, maps, search and
keyboard use are checked, and screenshots taken at 100% and 200% zoom.

usage: index_page.py --program DRAVOLIN_ARCHIVE --screenshot OUT.png
Exit status: 0 all checks pass, 1 a check failed, 77 no Chromium here (the test is skipped).
"""

import argparse
import base64
import fcntl
import json
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from urllib.parse import unquote

sys.path.insert(0, str(Path(__file__).resolve().parent))
import make_target  # noqa: E402

SKIPPED = 77
CHROMIUM_FLAGS = ["--headless=new", "--no-sandbox", "--no-first-run", "--no-default-browser-check",
                  "--disable-gpu", "--disable-extensions", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                  "--proxy-server=http://127.0.0.1:9", "--host-resolver-rules=MAP * ~NOTFOUND",
                  "--remote-debugging-pipe"]


class Failed(Exception):
    pass


class Browser:
    """Chromium with its DevTools protocol on fds 3 (commands) and 4 (answers and events)."""

    def __init__(self, chromium: str, profile: Path, output):
        commands_in, self.commands = os.pipe()
        self.answers, answers_out = os.pipe()

        def onto_fds_3_and_4():
            # Moved above 4 first: either end may itself sit on 3 or 4.
            high = [fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in (commands_in, answers_out)]
            os.dup2(high[0], 3)
            os.dup2(high[1], 4)

        argv = [chromium, *CHROMIUM_FLAGS, f"--user-data-dir={profile}", "about:blank"]
        # A network namespace of its own has no network at all; it needs root.
        if subprocess.run(["unshare", "--net", "true"], capture_output=True).returncode == 0:
            argv = ["unshare", "--net", "--", *argv]
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=output,
                                        stderr=output, close_fds=False,
                                        preexec_fn=onto_fds_3_and_4, start_new_session=True)
        os.close(commands_in)
        os.close(answers_out)
        self.read = b""
        self.replies = {}
        self.events = []
        self.last_id = 0

    def close(self):
        try:
            self.call("Browser.close", seconds=5)
            self.process.wait(timeout=10)
        except (Failed, OSError, subprocess.TimeoutExpired):
            try:
                os.killpg(self.process.pid, 9)
            except ProcessLookupError:
                pass
            self.process.wait()
        os.close(self.commands)
        os.close(self.answers)

    def pump(self, until: float):
        """Reads what the browser sent by `until` at the latest."""
        ready, _, _ = select.select([self.answers], [], [], max(0.0, until - time.monotonic()))
        if not ready:
            return
        chunk = os.read(self.answers, 1 << 20)
        if not chunk:
            raise Failed(f"Chromium closed its pipe (exit status {self.process.poll()})")
        self.read += chunk
        *messages, self.read = self.read.split(b"\0")
        for message in map(json.loads, messages):
            if "id" in message:
                self.replies[message["id"]] = message
            else:
                self.events.append(message)

    def call(self, method: str, params=None, session=None, seconds=10.0):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        until = time.monotonic() + seconds
        while self.last_id not in self.replies:
            if time.monotonic() >= until:
                raise Failed(f"no answer to {method} within {seconds} s")
            self.pump(until)
        reply = self.replies.pop(self.last_id)
        if "error" in reply:
            raise Failed(f"{method} failed: {reply['error'].get('message')}")
        return reply["result"]

    def wait_event(self, method: str, since: int, seconds: float):
        until = time.monotonic() + seconds
        while not any(event["method"] == method for event in self.events[since:]):
            if time.monotonic() >= until:
                raise Failed(f"no {method} within {seconds} s")
            self.pump(until)


class Page:
    def __init__(self, browser: Browser):
        self.browser = browser
        target = browser.call("Target.createTarget", {"url": "about:blank"}, seconds=30)
        self.session = browser.call("Target.attachToTarget",
                                    {"targetId": target["targetId"], "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            self.call(f"{domain}.enable")
        # Keyboard focus as in a window in front, which a headless one never is.
        self.call("Emulation.setFocusEmulationEnabled", {"enabled": True})

    def call(self, method, params=None, seconds=10.0):
        return self.browser.call(method, params, self.session, seconds)

    def js(self, expression: str, seconds=10.0):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, seconds + 2)
        if "exceptionDetails" in result:
            raise Failed(f"the test's script failed: {result['exceptionDetails']}")
        return result["result"].get("value")

    def until(self, condition: str, seconds=10.0):
        """The value of the arrow function `condition` once it is truthy, checked each frame;
        None when it is not within `seconds`."""
        return self.js(f"""new Promise(resolve => {{
            const condition = {condition};
            const given = setTimeout(() => resolve(null), {int(seconds * 1000)});
            const check = () => {{
                const value = condition();
                if (value) {{ clearTimeout(given); resolve(value); }}
                else requestAnimationFrame(check);
            }};
            check();
        }})""", seconds)

    def key(self, key: str, code: str, keycode: int, text=""):
        common = {"key": key, "code": code, "windowsVirtualKeyCode": keycode,
                  "nativeVirtualKeyCode": keycode}
        self.call("Input.dispatchKeyEvent", {"type": "keyDown", "text": text, **common})
        self.call("Input.dispatchKeyEvent", {"type": "keyUp", **common})

    def screenshot(self, path: Path, width: int, height: int, scale: int):
        self.call("Emulation.setDeviceMetricsOverride", {"width": width, "height": height,
                                                         "deviceScaleFactor": scale,
                                                         "mobile": False})
        size = self.call("Page.getLayoutMetrics")["cssContentSize"]
        clip = {"x": 0, "y": 0, "width": max(width, size["width"]), "height": size["height"],
                "scale": 1}
        shot = self.call("Page.captureScreenshot", {"format": "png", "clip": clip,
                                                    "captureBeyondViewport": True}, seconds=30)
        path.write_bytes(base64.b64decode(shot["data"]))


ROWS = """() => [...document.querySelectorAll('#discs tbody tr')].map(tr => {
    const svg = tr.querySelector('svg.map'), box = svg && svg.getBoundingClientRect();
    return {bag: tr.getAttribute('data-bag'), cells: [...tr.cells].map(td => td.innerText.trim()),
            results: [...tr.querySelectorAll('span.result')].map(s => [s.className, s.innerText]),
            verify: [...tr.querySelectorAll('span.verify')].map(s => s.className),
            links: [...tr.querySelectorAll('a[href]')].map(a => [a.getAttribute('href'), a.href]),
            map: svg && {rects: svg.querySelectorAll('rect').length, width: box.width,
                         height: box.height, role: svg.getAttribute('role'),
                         label: svg.getAttribute('aria-label')}};
})"""

FOUND = """() => [...document.querySelectorAll('#found tbody tr')].map(tr => ({
    cells: [...tr.cells].map(td => td.innerText.trim()),
    links: [...tr.querySelectorAll('a[href]')].map(a => a.href),
    height: tr.getBoundingClientRect().height}))"""


def links_into(links, folder_uri: str) -> bool:
    """Whether one of the absolute links leads to the bag's folder or something in it."""
    return any(unquote(href).startswith(unquote(folder_uri)) for href in links)


def check_table(page: Page, bags, target: Path, problems: list):
    rows = page.js(f"({ROWS})()")
    if len(rows) != len(bags):
        problems.append(f"#discs has {len(rows)} rows in its tbody, not {len(bags)}")
    by_bag = {row["bag"]: row for row in rows}
    for bag, result, has_map in zip(bags, ["complete", "incomplete", "incomplete"],
                                    [False, True, True]):
        row = by_bag.get(bag["folder"])
        if row is None:
            problems.append(f"no row of #discs has data-bag={bag['folder']!r}")
            continue
        said = f"the row of {bag['label']!r}"
        if bag["label"] not in row["cells"]:
            problems.append(f"{said} has no cell with its label: {row['cells']}")
        if not any(result in classes.split() and "result" in classes.split() and word == result
                   for classes, word in row["results"]):
            problems.append(f"{said} has no span.result.{result} saying {result!r}: "
                            f"{row['results']}")
        if not any({"verify", "valid"} <= set(classes.split()) for classes in row["verify"]):
            problems.append(f"{said} has no span.verify.valid: {row['verify']}")
        folder_uri = (target / bag["folder"]).as_uri() + "/"
        bag_links = [href for href, absolute in row["links"]
                     if unquote(absolute) == unquote(folder_uri)]
        if not bag_links:
            problems.append(f"{said} has no link to {folder_uri}: {row['links']}")
        elif any(":" in href.split("/")[0] or href.startswith("/") for href in bag_links):
            problems.append(f"{said} links its bag by no relative path: {bag_links}")
        drawn = row["map"]
        if not has_map and drawn:
            problems.append(f"{said} has an svg.map, but its bag holds no map")
        if has_map and not (drawn and drawn["rects"] and drawn["width"] and drawn["height"]):
            problems.append(f"{said} has no svg.map with rects drawn at a size: {drawn}")
        if drawn and (drawn["role"] != "img" or not drawn["label"]):
            problems.append(f"{said}: its svg.map lacks role=img or an aria-label: {drawn}")


def check_search(page: Page, query: str, expected, target: Path, problems: list):
    """`expected`: (path, label, bag folder) of each file the query should find."""
    before = page.js("document.getElementById('found-count').innerText.trim()")
    page.js("document.getElementById('search').focus(); document.getElementById('search').select()")
    if query.isascii() and query.islower():
        for c in query:
            code = f"Key{c.upper()}" if c.isalpha() else "Minus" if c == "-" else f"Digit{c}"
            page.key(c, code, ord(c.upper()) if c.isalnum() else 189, text=c)
    else:
        page.call("Input.insertText", {"text": query})
    paths = json.dumps([path for path, _, _ in expected])
    # Done when the rows name the files expected, and the count's words have come: a search
    # that finds nothing has to say so in new words.
    found = page.until(f"""() => {{
        const rows = ({FOUND})();
        const count = document.getElementById('found-count').innerText.trim();
        return rows.length === {len(expected)} && count
            && {paths}.every(path => rows.some(row => row.cells.includes(path)))
            && (rows.length > 0 || count !== {json.dumps(before)}) && {{rows, count}};
    }}""")
    if found is None:
        problems.append(f"searching {query!r}: not {len(expected)} rows in #found and a new "
                        f"#found-count: {page.js(f'({FOUND})()')}")
        return
    for path, label, folder in expected:
        folder_uri = (target / folder).as_uri() + "/"
        if not any({path, label, folder} <= set(row["cells"]) and row["height"] > 0
                   and links_into(row["links"], folder_uri) for row in found["rows"]):
            problems.append(f"searching {query!r}: no visible row with cells {path!r}, {label!r}, "
                            f"{folder!r} and a link into {folder_uri}: {found['rows']}")
    if expected and str(len(expected)) not in found["count"]:
        problems.append(f"searching {query!r}: #found-count says {found['count']!r}")


def check_tab_reaches_search(page: Page, problems: list):
    for _ in range(5):
        page.key("Tab", "Tab", 9)
        if page.js("document.activeElement && document.activeElement.id") == "search":
            return
    problems.append("5 presses of Tab from the page's start do not reach #search")


def browser_said(events) -> tuple:
    """Every console message, exception and log entry, and every request off the machine."""
    said, bad = [], []
    for event in events:
        method, params = event["method"], event.get("params", {})
        if method == "Runtime.consoleAPICalled":
            text = " ".join(str(arg.get("value", arg.get("description"))) for arg in
                            params.get("args", []))
            said.append(f"console.{params['type']}: {text}")
            if params["type"] in ("error", "warning", "assert"):
                bad.append(said[-1])
        elif method == "Runtime.exceptionThrown":
            details = params["exceptionDetails"]
            said.append(f"exception: {details.get('exception', {}).get('description', details)}")
            bad.append(said[-1])
        elif method == "Log.entryAdded":
            entry = params["entry"]
            said.append(f"log {entry['level']} ({entry['source']}): {entry['text']} "
                        f"{entry.get('url', '')}")
            if entry["level"] in ("error", "warning"):
                bad.append(said[-1])
        elif method == "Network.requestWillBeSent":
            url = params["request"]["url"]
            said.append(f"request: {url[:120]}")
            if url.split(":")[0] not in ("file", "data", "about"):
                bad.append(f"a request off the machine: {url[:200]}")
    return said, bad


def run_verify(program: str, target: Path, lang: str):
    env = {k: v for k, v in os.environ.items() if k not in ("LC_ALL", "LC_MESSAGES", "LANGUAGE")}
    ran = subprocess.run([program, "verify", str(target)], env={**env, "LANG": lang},
                         capture_output=True, text=True, timeout=60)
    if ran.returncode != 0:
        raise Failed(f"`verify` under LANG={lang} ended with {ran.returncode}: "
                     f"{ran.stdout}{ran.stderr}")
    page = target / "index.html"
    if not page.is_file():
        raise Failed(f"`verify` under LANG={lang} left no {page}")
    return page.read_text(encoding="utf-8")


def check_page(page: Page, bags, target: Path, shot: Path, problems: list):
    page.call("Emulation.setDeviceMetricsOverride",
              {"width": 1280, "height": 900, "deviceScaleFactor": 1, "mobile": False})
    if page.js("document.documentElement.lang") != "en":
        problems.append('under LANG=C.UTF-8 the page has no <html lang="en">')
    outside = page.js("document.querySelectorAll('script[src], link[rel~=stylesheet], "
                      "img[src]:not([src^=\"data:\"]), iframe, object, embed').length")
    if outside:
        problems.append(f"{outside} elements load something outside the page")
    searchable = page.js("""(() => {
        const search = document.getElementById('search');
        const count = document.getElementById('found-count');
        const files = document.querySelector('script[type="application/json"]#files');
        return !!(search && search.type === 'search' && search.labels.length && count
            && count.ariaLive === 'polite' && document.querySelector('table#found > tbody')
            && files && JSON.parse(files.textContent) !== null);
    })()""")
    if not searchable:
        problems.append("#search (type search, labelled), #found-count (aria-live polite), "
                        "#found's tbody or the JSON of script#files is missing")
    check_table(page, bags, target, problems)
    check_tab_reaches_search(page, problems)
    if searchable:
        taxes = (make_target.DISTINCTIVE, make_target.DAMAGED_LABEL, bags[1]["folder"])
        check_search(page, "kvitanciya", [taxes], target, problems)
        check_search(page, "no-such-file-anywhere", [], target, problems)
        check_search(page, "МАРШРУТ", [("files/docs/Маршрут поездки.txt", bags[0]["label"],
                                        bags[0]["folder"])], target, problems)
        check_search(page, "KVITANCIYA-2021", [taxes], target, problems)
    shot.parent.mkdir(parents=True, exist_ok=True)
    page.screenshot(shot, 1280, 900, 1)
    # 200% zoom: half the CSS pixels across, each drawn twice as large.
    page.screenshot(shot.with_name(shot.stem + "-zoom.png"), 640, 450, 2)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="the dravolin-archive program")
    parser.add_argument("--screenshot", required=True, type=Path, help="where the PNG goes")
    args = parser.parse_args()
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("chromium is not installed: skipped (scripts/install-deps installs it)")
        return SKIPPED

    problems = []
    with tempfile.TemporaryDirectory(prefix="dravolin-page-") as work:
        target = Path(work) / "target folder"
        bags = make_target.make_target(target)
        locales = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
        if "ru_RU.utf8" in locales.split():
            if not re.search(r'<html[^>]*\slang="ru"', run_verify(args.program, target,
                                                                  "ru_RU.UTF-8")):
                problems.append('under LANG=ru_RU.UTF-8 the page has no <html lang="ru">')
        run_verify(args.program, target, "C.UTF-8")

        with open(Path(work) / "chromium.log", "w+") as output:
            browser = Browser(chromium, Path(work) / "profile", output)
            try:
                page = Page(browser)
                since = len(browser.events)
                url = (target / "index.html").as_uri()
                navigated = page.call("Page.navigate", {"url": url}, seconds=30)
                if navigated.get("errorText"):
                    raise Failed(f"{url} does not open: {navigated['errorText']}")
                browser.wait_event("Page.loadEventFired", since, 30)
                check_page(page, bags, target, args.screenshot, problems)
            except Failed as failure:
                problems.append(str(failure))
                output.seek(0)
                print("Chromium's output:\n" + output.read()[-3000:], file=sys.stderr)
            finally:
                browser.close()
    said, bad = browser_said(browser.events)
    for line in said:
        print(f"browser: {line}")
    for problem in problems + [f"the browser reported: {line}" for line in bad]:
        print(f"FAILED: {problem}", file=sys.stderr)
    if problems or bad:
        return 1
    print(f"index.html passes in Chromium; screenshots: {args.screenshot} and its -zoom.png")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failed as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)

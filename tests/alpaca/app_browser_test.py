#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The app served at the Alpaca server's root, in headless Chromium at a phone's size, served by
the real program started with --connect --alpaca over the simulated accessories.

Usage: app_browser_test.py SKYVARN SKYVARN_SIM
With the environment variable APP_SCREENSHOT_DIR set, saves app-day.png and app-night.png there.
"""
import json
import os
import re
import shutil
import sys
import tempfile
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
from browser_test import HALF_BLOCKS, browser, start, stop, wait_for  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

# Every visible element's colours (text, background, drawn borders) that are not red on black:
# green or blue above a third of red.
NOT_RED = """
const bad = [];
const parse = (c) => (c.match(/[\\d.]+/g) || []).map(Number);
for (const e of document.querySelectorAll('*')) {
  const box = e.getBoundingClientRect();
  if (box.width === 0 || box.height === 0) continue;
  const s = getComputedStyle(e);
  const colours = [s.color, s.backgroundColor];
  if (parseFloat(s.borderTopWidth) > 0) colours.push(s.borderTopColor);
  for (const c of colours) {
    const [r, g, b, a] = parse(c);
    if (a === 0) continue;
    if (g > r / 3 || b > r / 3) bad.push(e.tagName + '.' + e.className + ' ' + c);
  }
}
return bad;
"""

SMALL = """
const small = [];
for (const e of document.querySelectorAll('button, input')) {
  const box = e.getBoundingClientRect();
  if (box.width === 0) continue;
  if (box.width < 44 || box.height < 44)
    small.push(e.outerHTML.slice(0, 60) + ' ' + box.width + 'x' + box.height);
}
return small;
"""


def alpaca(port, method, path, **fields):
    fields.update(ClientID="7", ClientTransactionID="1")
    data = urllib.parse.urlencode(fields)
    url = "http://127.0.0.1:%d/api/v1/%s" % (port, path)
    if method == "GET":
        request = urllib.request.Request(url + "?" + data)
    else:
        request = urllib.request.Request(url, data=data.encode(), method="PUT", headers={
            "Content-Type": "application/x-www-form-urlencoded"})
    with urllib.request.urlopen(request, timeout=30) as answer:
        reply = json.load(answer)
    assert reply["ErrorNumber"] == 0, reply
    return reply.get("Value")


def viewport(driver, width, height):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": 1, "mobile": True})


def main(skyvarn, sim):
    work = tempfile.mkdtemp(prefix="skyvarn-app-")
    os.chmod(work, 0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=work, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
    processes = []
    driver = None
    try:
        devices, sim_out, _ = start([sim, "focuser", "focuser", "dew"], env)
        processes.append(devices)
        wait_for("simulated accessories", lambda: "running" in sim_out.text())
        program, out, err = start([skyvarn, "--connect", "--alpaca", "--alpaca-port", "0"], env)
        processes.append(program)
        wait_for("app address", lambda: "App for phones and tablets: http://" in out.text()
                 or "did not start" in err.text() or program.poll() is not None, 90)
        address = re.search(r"App for phones and tablets: http://\S+:(\d+)/", out.text())
        assert address, out.text() + "\n" + err.text()
        port = int(address.group(1))
        banner = next(i for i, line in enumerate(out.lines) if "App for phones" in line)
        qr = wait_for("QR code", lambda: len(out.lines) >= banner + 18 and
                      out.lines[banner + 1:banner + 18])
        for line in qr:
            assert len(line) == 33 and set(line) <= HALF_BLOCKS and line.strip(), repr(line)

        driver = browser(os.path.join(work, "chromium"))
        viewport(driver, 390, 844)
        driver.get("http://127.0.0.1:%d/" % port)
        card = lambda n: driver.find_element(By.ID, n)  # noqa: E731

        def shown_position():
            match = re.fullmatch(r"\d+", card("focuser0").find_element(By.CLASS_NAME,
                                                                       "position").text)
            return match and int(match.group(0))

        wait_for("focuser 1's position", shown_position, 60)
        for reading in ("dewpoint", "margin", "probe1"):
            wait_for(reading, lambda: "°C" in driver.find_element(By.ID, reading).text, 60)
        for name in ("focuser0", "focuser1", "dew"):
            wait_for(name + " connected", lambda: card(name).find_element(
                By.CSS_SELECTOR, "h2 .state").text == "connected", 60)
        # The night's temperatures: the charted series, read by a touch.
        wait_for("the chart's series", lambda: len(driver.find_elements(
            By.CSS_SELECTOR, "#legend span")) == 6, 60)
        driver.find_element(By.ID, "history").click()
        wait_for("a point read", lambda: "Dew point" in driver.find_element(
            By.CSS_SELECTOR, "#chart .readout").text)
        text = driver.find_element(By.TAG_NAME, "body").text
        assert "Quillo 1" in text and "Quillo 2" in text and "Brisella" in text, text

        # A move asked by another Alpaca client shows without a reload.
        driver.execute_script("window.skyvarnSamePage = true")
        start_position = alpaca(port, "GET", "focuser/0/position")
        alpaca(port, "PUT", "focuser/0/move", Position=str(start_position + 37))
        wait_for("the other client's move", lambda: shown_position() == start_position + 37, 60)
        wait_for("the move's end", lambda: card("focuser0").find_element(
            By.CLASS_NAME, "moving").text in ("ended", "stopped"), 60)
        assert driver.execute_script("return window.skyvarnSamePage === true")

        # Step 100 and Out: one move out by 100 steps ("O00100").
        before = shown_position()
        card("focuser0").find_element(By.CSS_SELECTOR, "button[data-steps='100']").click()
        card("focuser0").find_element(By.CSS_SELECTOR, "button.out").click()
        wait_for("100 steps out", lambda: alpaca(port, "GET", "focuser/0/position") == before + 100
                 and not alpaca(port, "GET", "focuser/0/ismoving"), 60)
        wait_for("the page's new position", lambda: shown_position() == before + 100, 30)

        small = driver.execute_script(SMALL)
        assert not small, small
        shots = os.environ.get("APP_SCREENSHOT_DIR")
        if shots:
            driver.save_screenshot(os.path.join(shots, "app-day.png"))

        viewport(driver, 360, 844)
        assert driver.execute_script(
            "return document.documentElement.scrollWidth <= window.innerWidth"), \
            driver.execute_script("return document.documentElement.scrollWidth")
        viewport(driver, 390, 844)

        driver.find_element(By.ID, "night").click()
        wait_for("red on black", lambda: not driver.execute_script(NOT_RED))
        driver.refresh()
        wait_for("focuser 1's position after the reload", shown_position, 60)
        assert driver.execute_script("return document.documentElement.classList.contains('night')")
        bad = driver.execute_script(NOT_RED)
        assert not bad, bad
        if shots:
            driver.save_screenshot(os.path.join(shots, "app-night.png"))
        assert program.poll() is None, "skyvarn ended:\n" + err.text()
        print("app on port %d: focuser 1 from %d to %d" % (port, start_position, before + 100))
        return 0
    finally:
        if driver:
            driver.quit()
        for process in reversed(processes):
            stop(process)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))

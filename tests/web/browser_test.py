#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The phone control page in a real browser (headless Chromium through Selenium), served by the
real program started as on a machine without a screen (--connect --remote) and moving a
simulated focuser.

Usage: browser_test.py SKYVARN SKYVARN_SIM
Exits 77 (skipped) when this machine has no network address to serve on. With the environment
variable BROWSER_TEST_SCREENSHOT set, saves the page as a PNG image at that path.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.common.by import By

SKIPPED = 77
DEADLINE = 30  # seconds, for every wait
NO_NETWORK = "Connexion unavailable, please connect to your WiFi router"
HALF_BLOCKS = set(" \u2580\u2584\u2588")


class Output:
    """A process's output, gathered line by line on a thread so that no wait blocks on it."""

    def __init__(self, stream):
        self.lines = []
        self._thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self._thread.start()

    def _read(self, stream):
        for line in iter(stream.readline, ""):
            self.lines.append(line.rstrip("\n"))

    def text(self):
        return "\n".join(self.lines)


def wait_for(what, condition, deadline=DEADLINE):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("no " + what + " within %d s" % deadline)


def new_page_loaded(driver):
    """True once the page marked by press() is replaced and the new one is complete. While the
    browser is between the two pages, any call may fail in several ways: that means not yet."""
    try:
        return driver.execute_script(
            "return window.skyvarnOldPage === undefined && document.readyState === 'complete'")
    except WebDriverException:
        return False


def start(command, env):
    process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    return process, Output(process.stdout), Output(process.stderr)


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(10)


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=412,915",
                     "--user-data-dir=" + profile):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(DEADLINE)
    return driver


def main(skyvarn, sim):
    work = tempfile.mkdtemp(prefix="skyvarn-browser-")
    os.chmod(work, 0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=work, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
    processes = []
    driver = None
    try:
        focuser, sim_out, _ = start([sim, "focuser"], env)
        processes.append(focuser)
        wait_for("simulated focuser", lambda: "running" in sim_out.text())

        # Port 0: the server takes a free port itself and prints it (a port chosen here could
        # be taken by another test before the program binds it).
        program, out, err = start([skyvarn, "--connect", "--remote", "--port", "0"], env)
        processes.append(program)
        wait_for("address line", lambda: (
            "http://" in out.text() or NO_NETWORK in err.text() or "did not start" in err.text()
            or program.poll() is not None))
        if NO_NETWORK in err.text():
            print("skipped: this machine has no network address to serve the page on")
            return SKIPPED
        address = re.search(r"http://\S+:(\d+)", out.text())
        assert address, "no address printed:\n" + out.text() + "\n" + err.text()
        port = int(address.group(1))
        assert port > 0, address.group(0)

        # The QR code right under the address line (notification lines may come before it): 33
        # modules, two rows a line, every line made of half blocks.
        banner = next(i for i, line in enumerate(out.lines) if "http://" in line)
        qr = wait_for("QR code",
                      lambda: len(out.lines) >= banner + 18 and out.lines[banner + 1:banner + 18])
        for line in qr:
            assert len(line) == 33 and set(line) <= HALF_BLOCKS and line.strip(), repr(line)

        driver = browser(os.path.join(work, "chromium"))
        page = "http://127.0.0.1:%d/" % port
        driver.get(page)
        assert driver.title == "Quillo remote control", driver.title

        def shown():
            body = driver.find_element(By.TAG_NAME, "body").text
            match = re.search(r"current position =\s*(-?\d+)", body)
            assert match, driver.page_source
            return int(match.group(1))

        def press(caption):
            """Submits a form and waits for the page that answers it."""
            driver.execute_script("window.skyvarnOldPage = true")
            driver.find_element(By.CSS_SELECTOR, "input[type=submit][value='%s']" % caption).click()
            wait_for("answer to " + caption, lambda: new_page_loaded(driver))

        def refreshed_until(what, condition):
            def look():
                press("Refresh")
                return condition(shown())
            wait_for(what, look)

        # Before the first position poll the page shows 0; the simulator starts at 30000.
        refreshed_until("polled position", lambda p: p == 30000)
        start_position = shown()

        press("Move IN 10")
        assert "received cmd: move_in value:10" in driver.page_source, driver.page_source
        refreshed_until("position 10 steps in", lambda p: p == start_position - 10)

        target = start_position + 120
        box = driver.find_element(By.CSS_SELECTOR, "form[action='move_goto'] input[name=value]")
        box.send_keys(str(target))
        press("Go to")
        assert "received cmd: move_goto value:%d" % target in driver.page_source
        refreshed_until("the target position", lambda p: p == target)

        if os.environ.get("BROWSER_TEST_SCREENSHOT"):
            driver.save_screenshot(os.environ["BROWSER_TEST_SCREENSHOT"])
        assert program.poll() is None, "skyvarn ended:\n" + err.text()
        print("page served at %s moved the focuser from %d to %d" % (page, start_position, target))
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

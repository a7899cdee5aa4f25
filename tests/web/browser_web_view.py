#!/usr/bin/env python3
"""The web view in a real browser: headless Chromium driven by Selenium against
tessaly --record --web and four demo cameras, all on 127.0.0.1.

It checks a wrong password is refused, the login, the grid of four cameras
whose pictures change, a camera page with its strip of saved pictures and the
logout; that no byte of any answer holds a camera's address, user name or
password; and it keeps a 390x844 screenshot of the grid.

    browser_web_view.py --tessaly PATH --democam PATH [--screenshot FILE]

A missing browser, driver or Selenium fails the test with a message.
"""
import argparse
import base64
import hashlib
import os
import re
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError as error:  # a test that cannot run fails, it does not skip
    sys.exit("browser_web_view: python3-selenium is missing (%s); "
             "run: bash scripts/install-deps.sh web" % error)

ARGS = None
PASSWORD = "phone-at-the-gate-42"
CAMERA_USER = "camop-7q"
CAMERA_SECRET = "s3cret-Zw9-pass"
TIMEOUT = 30


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Output:
    """Collects a process's standard error as it comes, on a thread."""

    def __init__(self, stream):
        self.text = ""
        self._lock = threading.Lock()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in iter(stream.readline, b""):
            with self._lock:
                self.text += line.decode("utf-8", "replace")

    def wait_for(self, pattern, seconds=TIMEOUT):
        end = time.time() + seconds
        while time.time() < end:
            with self._lock:
                match = re.search(pattern, self.text, re.M)
            if match:
                return match
            time.sleep(0.1)
        raise AssertionError("no %r in:\n%s" % (pattern, self.text))


class WebViewInABrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="tessaly-web-")
        cls.env = dict(os.environ)
        for name, sub in (("HOME", "home"), ("TESSALY_HOME", "program"),
                          ("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                          ("XDG_CACHE_HOME", "cache")):
            path = os.path.join(cls.root, sub)
            os.makedirs(path)
            cls.env[name] = path
        cls.env["QT_QPA_PLATFORM"] = "offscreen"
        cls.processes = []

        democam = cls.start([ARGS.democam, "--port", "0", "--cameras", "4", "--size", "640x480",
                             "--change-every", "1,2,2,3"], stdout=subprocess.PIPE)
        line = democam.stdout.readline().decode()
        match = re.search(r"http://127\.0\.0\.1:(\d+)/cam1\.jpg", line)
        if not match:
            raise AssertionError("the demo camera named no port: %r" % line)
        cls.camera_port = int(match.group(1))
        # Every camera behind a user name and password, as real ones are.
        with open(os.path.join(cls.env["TESSALY_HOME"], "00camlist.txt"), "wb") as f:
            f.write(b"\r\n")
            for n in range(1, 5):
                f.write(("[name]Demo %d\r\nhttp://%s:%s@127.0.0.1:%d/cam%d.jpg\r\n1\r\n\r\n"
                         % (n, CAMERA_USER, CAMERA_SECRET, cls.camera_port, n)).encode())

        # Without a password the web view does not start, and says how to set one.
        cls.web_port = free_port()
        bare = subprocess.run([ARGS.tessaly, "--web", "127.0.0.1:%d" % cls.web_port],
                              env=cls.env, capture_output=True, timeout=TIMEOUT)
        assert bare.returncode == 0, bare.stderr
        setter = subprocess.run([ARGS.tessaly, "--web-password"], env=cls.env,
                                input=(PASSWORD + "\n").encode(), capture_output=True,
                                timeout=TIMEOUT)
        assert setter.returncode == 0, setter.stderr
        # Saved pictures, so the camera page's strip has some.
        autosave = subprocess.run([ARGS.tessaly, "--autosave", "on"], env=cls.env,
                                  capture_output=True, timeout=TIMEOUT)
        assert autosave.returncode == 0, autosave.stderr
        cls.tessaly = cls.start([ARGS.tessaly, "--record", "--web",
                                 "127.0.0.1:%d" % cls.web_port], stderr=subprocess.PIPE)
        cls.log = Output(cls.tessaly.stderr)
        cls.fingerprint = cls.log.wait_for(
            r"web view certificate SHA-256 ([0-9A-F:]{95})").group(1)
        cls.base = "https://127.0.0.1:%d" % cls.web_port

        chromium = shutil.which("chromium")
        driver = shutil.which("chromedriver")
        if not chromium or not driver:
            raise AssertionError("chromium and chromedriver are needed: "
                                 "run bash scripts/install-deps.sh web")
        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=390,844",
                     "--user-data-dir=" + os.path.join(cls.root, "chromium"),
                     # Trust exactly the certificate the program said it made.
                     "--ignore-certificate-errors-spki-list=" + cls.spki_hash()):
            options.add_argument(flag)
        cls.browser = webdriver.Chrome(service=Service(driver), options=options)
        cls.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": True})

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "browser", None):
            cls.browser.quit()
        for process in reversed(cls.processes):
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(10)
            for stream in (process.stdout, process.stderr):
                if stream:
                    stream.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    @classmethod
    def start(cls, command, **streams):
        process = subprocess.Popen(command, env=cls.env, **streams)
        cls.processes.append(process)
        return process

    @classmethod
    def spki_hash(cls):
        path = os.path.join(cls.env["XDG_DATA_HOME"], "Northlight Camera Works", "Tessaly",
                            "web-certificate.pem")
        key = subprocess.run(["openssl", "x509", "-in", path, "-noout", "-pubkey"],
                             capture_output=True, check=True).stdout
        der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "der"], input=key,
                             capture_output=True, check=True).stdout
        return base64.b64encode(hashlib.sha256(der).digest()).decode()

    # --- raw HTTPS, for the bytes the browser does not show -------------------

    def raw(self, request):
        context = ssl.create_default_context()
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE
        with socket.create_connection(("127.0.0.1", self.web_port), 10) as plain:
            with context.wrap_socket(plain) as tls:
                der = tls.getpeercert(binary_form=True)
                shown = ":".join("%02X" % b for b in hashlib.sha256(der).digest())
                self.assertEqual(shown, self.fingerprint)
                tls.sendall(request.encode())
                answer = b""
                while True:
                    chunk = tls.recv(65536)
                    if not chunk:
                        return answer
                    answer += chunk

    def get(self, path, cookie=None):
        return self.raw("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n%s\r\n"
                        % (path, "Cookie: tessaly_session=%s\r\n" % cookie if cookie else ""))

    def post(self, path, body, cookie=None):
        return self.raw("POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                        "Content-Type: application/x-www-form-urlencoded\r\n"
                        "Content-Length: %d\r\n%s\r\n%s"
                        % (path, len(body), "Cookie: tessaly_session=%s\r\n" % cookie
                           if cookie else "", body))

    # --- the tests -------------------------------------------------------------

    def wait(self, condition, seconds=TIMEOUT, what="a condition"):
        return WebDriverWait(self.browser, seconds).until(condition, what)

    def test_1_without_a_password_the_web_view_said_how_to_set_one(self):
        env = dict(self.env, XDG_CONFIG_HOME=os.path.join(self.root, "config-empty"))
        os.makedirs(env["XDG_CONFIG_HOME"], exist_ok=True)
        run = subprocess.Popen([ARGS.tessaly, "--record", "--web", "127.0.0.1:%d" % free_port()],
                               env=env, stderr=subprocess.PIPE)
        try:
            Output(run.stderr).wait_for(r"web view not started: .*tessaly --web-password")
        finally:
            run.terminate()
            run.wait(10)
            run.stderr.close()

    def test_2_browser_logs_in_watches_the_grid_and_a_camera_and_logs_out(self):
        b = self.browser
        b.get(self.base + "/")
        self.wait(lambda d: d.current_url.endswith("/login"), what="the redirect to the login")

        b.find_element(By.ID, "password").send_keys("not the password")
        b.find_element(By.ID, "login").click()
        self.wait(lambda d: d.find_elements(By.ID, "message"), what="the refusal")
        self.assertIn("Wrong password", b.find_element(By.ID, "message").text)
        self.assertEqual([c for c in b.get_cookies() if c["name"] == "tessaly_session"], [])

        b.find_element(By.ID, "password").send_keys(PASSWORD)
        b.find_element(By.ID, "login").click()
        self.wait(lambda d: d.current_url == self.base + "/", what="the grid")
        cookie = [c for c in b.get_cookies() if c["name"] == "tessaly_session"]
        self.assertEqual(len(cookie), 1)
        self.assertTrue(cookie[0]["httpOnly"])
        self.assertTrue(cookie[0]["secure"])
        self.assertEqual(cookie[0]["sameSite"], "Strict")

        def pictures():
            tiles = d_tiles()
            return {t.get_attribute("id"): t.find_element(By.TAG_NAME, "img").get_attribute("src")
                    for t in tiles
                    if b.execute_script("return arguments[0].naturalWidth",
                                        t.find_element(By.TAG_NAME, "img")) > 0}

        def d_tiles():
            return b.find_elements(By.CSS_SELECTOR, "#grid .tile")

        self.wait(lambda d: len(pictures()) == 4, what="four tiles with pictures")
        names = sorted(t.find_element(By.CLASS_NAME, "name").text.split(" \u00b7 ")[0]
                       for t in d_tiles())  # "Demo 1 · 10:00:09"
        self.assertEqual(names, ["Demo 1", "Demo 2", "Demo 3", "Demo 4"])
        first = pictures()
        if ARGS.screenshot:
            b.save_screenshot(ARGS.screenshot)
        self.wait(lambda d: all(pictures().get(k, v) != v for k, v in first.items()), 10,
                  what="every picture replaced within 10 s")
        # The demo scenes change: some tile wears the change mark meanwhile.
        self.wait(lambda d: d.find_elements(By.CSS_SELECTOR, "#grid .tile.changed"),
                  what="a tile marked as in change")
        # Pages and pictures never name a camera's address.
        self.assertNotIn(CAMERA_SECRET, b.page_source)
        self.assertNotIn("%d" % self.camera_port, b.page_source)

        d_tiles()[0].click()
        self.wait(lambda d: re.search(r"/camera/\d+$", d.current_url), what="a camera page")
        self.wait(lambda d: d.find_element(By.ID, "name").text.startswith("Demo "),
                  what="the camera's name")
        picture = b.find_element(By.ID, "picture")
        self.wait(lambda d: d.execute_script("return arguments[0].naturalWidth", picture) == 640,
                  what="the full-size picture")
        self.assertRegex(b.find_element(By.ID, "health").text, r"delivering")
        self.assertEqual(b.find_element(By.ID, "refresh").text, "every 1 s")
        self.assertNotEqual(b.find_element(By.ID, "time").text, "No picture")
        # Today's saved pictures on the strip; one chosen is shown large.
        self.wait(lambda d: d.find_elements(By.CSS_SELECTOR, "#strip button"),
                  what="saved pictures on the strip")
        b.find_element(By.CSS_SELECTOR, "#strip button").click()
        chosen = b.find_element(By.ID, "chosen-picture")
        self.wait(lambda d: d.execute_script("return arguments[0].naturalWidth", chosen) == 640,
                  what="a saved picture, large")

        b.find_element(By.ID, "logout").click()
        self.wait(lambda d: d.current_url.endswith("/login"), what="the login after logout")
        self.assertEqual([c for c in b.get_cookies() if c["name"] == "tessaly_session"], [])
        b.get(self.base + "/camera/1")
        self.wait(lambda d: d.current_url.endswith("/login"), what="the login again")
        self.assertIn(b"401", self.get("/api/cameras", cookie[0]["value"]).split(b"\r\n")[0])

    def test_3_no_answer_holds_a_camera_address_user_or_password(self):
        answers = [self.get("/login"), self.get("/style.css"), self.get("/"),
                   self.post("/login", "password=wrong")]
        login = self.post("/login", "password=" + PASSWORD)
        token = re.search(rb"tessaly_session=([0-9a-f]{64})", login).group(1).decode()
        answers.append(login)
        for path in ("/", "/app.js", "/api/cameras", "/api/camera/1/pictures", "/nothing",
                     "/camera/99",
                     "/camera/1/../../etc/passwd"):
            answers.append(self.get(path, token))
        for n in range(1, 5):
            for path in ("/camera/%d" % n, "/camera/%d/latest.jpg" % n,
                         "/camera/%d/grid.jpg" % n):
                answer = self.get(path, token)
                self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer[:200])
                answers.append(answer)
        answers.append(self.post("/logout", "", token))
        everything = b"".join(answers)
        for secret in (CAMERA_SECRET, CAMERA_USER, "127.0.0.1:%d" % self.camera_port,
                       "/cam1.jpg", PASSWORD):
            self.assertNotIn(secret.encode(), everything, secret)
        self.assertNotIn(CAMERA_SECRET, self.log.text)
        self.assertNotIn(PASSWORD, self.log.text)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessaly", required=True)
    parser.add_argument("--democam", required=True)
    parser.add_argument("--screenshot")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

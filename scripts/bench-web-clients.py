#!/usr/bin/env python3
"""Simulated phones for scripts/bench-web.sh: each logs in to the web view and,
once a second, asks for /api/cameras and fetches every grid picture whose
address changed, over one kept-alive TLS connection, as the grid page does.

    bench-web-clients.py --port P --password-file F [--clients 3] [--seconds 60]

Prints one line of totals: polls, pictures, bytes, errors.
"""
import argparse
import http.client
import json
import ssl
import threading
import time


def client(port, password, seconds, totals, lock):
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    connection = http.client.HTTPSConnection("127.0.0.1", port, context=context, timeout=10)
    polls = pictures = size = errors = 0
    try:
        connection.request("POST", "/login", body="password=" + password,
                           headers={"Content-Type": "application/x-www-form-urlencoded"})
        answer = connection.getresponse()
        answer.read()
        cookie = answer.getheader("Set-Cookie", "").split(";")[0]
        if answer.status != 303 or not cookie:
            raise RuntimeError("login refused: %d" % answer.status)
        headers = {"Cookie": cookie}
        shown = {}
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            started = time.monotonic()
            try:
                connection.request("GET", "/api/cameras", headers=headers)
                answer = connection.getresponse()
                cameras = json.loads(answer.read())
                polls += 1
                for camera in cameras:
                    grid = camera.get("grid")
                    if grid and shown.get(camera["id"]) != grid:
                        connection.request("GET", grid, headers=headers)
                        answer = connection.getresponse()
                        body = answer.read()
                        if answer.status == 200:
                            shown[camera["id"]] = grid
                            pictures += 1
                            size += len(body)
                        else:
                            errors += 1
            except (OSError, http.client.HTTPException, ValueError):
                errors += 1
                connection.close()
            time.sleep(max(0.0, 1.0 - (time.monotonic() - started)))
    except (OSError, http.client.HTTPException, RuntimeError):
        errors += 1
    with lock:
        for key, value in (("polls", polls), ("pictures", pictures), ("bytes", size),
                           ("errors", errors)):
            totals[key] += value


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--password-file", required=True)
    parser.add_argument("--clients", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=60)
    args = parser.parse_args()
    with open(args.password_file) as f:
        password = f.read().strip()
    totals = {"polls": 0, "pictures": 0, "bytes": 0, "errors": 0}
    lock = threading.Lock()
    threads = [threading.Thread(target=client,
                                args=(args.port, password, args.seconds, totals, lock))
               for _ in range(args.clients)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    print("polls=%(polls)d pictures=%(pictures)d bytes=%(bytes)d errors=%(errors)d" % totals)


if __name__ == "__main__":
    main()

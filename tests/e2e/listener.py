#!/usr/bin/env python3
"""A stand-in game server for the end-to-end tests.

Listens on 127.0.0.1:PORT, accepts one client and writes the first COUNT bytes
it sends, as lower-case hex pairs separated by spaces, to RECEIVED (written to
a temporary name first, then renamed, so a reader never sees half of it).
Then it waits until the file CLOSE_WHEN exists, sends the frames given as hex
in the environment variable LISTENER_SEND (may be empty), closes the
connection and exits. Gives up after TIMEOUT seconds (exit status 1).

    listener.py PORT COUNT RECEIVED CLOSE_WHEN [TIMEOUT]
"""
import os
import socket
import sys
import time


def main():
    port, count = int(sys.argv[1]), int(sys.argv[2])
    received_path, close_when = sys.argv[3], sys.argv[4]
    timeout = float(sys.argv[5]) if len(sys.argv) > 5 else 60.0
    deadline = time.monotonic() + timeout

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", port))
    server.listen(1)
    # Tells the test that the port is taken.
    open(received_path + ".listening", "w").close()
    server.settimeout(timeout)
    connection, _ = server.accept()

    data = b""
    while len(data) < count and time.monotonic() < deadline:
        connection.settimeout(max(0.1, deadline - time.monotonic()))
        try:
            chunk = connection.recv(count - len(data))
        except socket.timeout:
            break
        if not chunk:
            break
        data += chunk
    with open(received_path + ".part", "w") as out:
        out.write(" ".join("%02x" % byte for byte in data))
    os.rename(received_path + ".part", received_path)

    while not os.path.exists(close_when):
        if time.monotonic() > deadline:
            return 1
        time.sleep(0.05)
    frames = bytes.fromhex(os.environ.get("LISTENER_SEND", ""))
    if frames:
        connection.sendall(frames)
    connection.close()
    server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())

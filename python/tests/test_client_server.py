"""The demo's C++ client against examples/server.py over a real socket.

The server runs as its own process on 127.0.0.1, on a port the system picks,
and is stopped whatever the tests do.
"""
import ctypes
import os
import select
import signal
import socket
import subprocess
import sys
import urllib.error
import urllib.request

import pytest

from conftest import source_path

DEMO = os.environ.get("NORVEK_DEMO")
PAYLOAD = b'{"user":42,"action":"pay","amount":"19.99"}'

pytestmark = pytest.mark.skipif(not DEMO, reason="NORVEK_DEMO names no demo binary")


def die_with_parent():
    # In the server, before it starts: a test run killed outright (a ctest
    # timeout kills only pytest) takes the server with it.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


@pytest.fixture(scope="module")
def server_url():
    server = subprocess.Popen(
        [sys.executable, str(source_path("NORVEK_SERVER", "examples/server.py")), "--port", "0",
         "--timeout", "2"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
        preexec_fn=die_with_parent)
    try:
        ready, _, _ = select.select([server.stdout], [], [], 60)
        line = server.stdout.readline() if ready else "(nothing in 60 s)"
        assert line.startswith("listening on http://127.0.0.1:"), line
        yield line.split()[-1]
    finally:
        server.terminate()
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


def run_demo(*args):
    return subprocess.run([DEMO, *args], capture_output=True, text=True, timeout=60)


def test_server_answers_the_clients_payload(server_url):
    r = run_demo("--post", server_url)
    assert r.returncode == 0, r.stdout + r.stderr
    assert "HTTP 200" in r.stdout
    assert PAYLOAD.decode() in r.stdout.split("answer", 1)[1]


def test_server_rejects_a_flipped_bit(server_url):
    r = run_demo("--post", server_url, "--flip-bit")
    assert r.returncode == 1, r.stdout + r.stderr
    assert "HTTP 403" in r.stdout


REQUESTS = [  # (body, status, why)
    (None, 200, "the client's request, unchanged"),
    ("sig", 403, "a flipped bit in the signature"),
    ("short", 403, "a signature cut short"),
    (b"data=YWJj", 400, "no signature"),
    (b"data=%zz&sig=00", 400, "a malformed escape"),
    (b"data=YWJj*&sig=00", 400, "malformed Base64"),
    (b"data=\xff\xfe&sig=\xc3(", 400, "not UTF-8"),
    (b"sig=00&&=&data", 400, "fields without values"),
    (b"", 400, "empty body"),
    (b"POST / HTTP/1.0\r\n\r\n", 411, "no Content-Length"),
    (b"POST / HTTP/1.0\r\nContent-Length: abc\r\n\r\n", 400, "Content-Length not a number"),
    (b"POST / HTTP/1.0\r\nContent-Length: -5\r\n\r\n", 400, "negative Content-Length"),
    (b"POST / HTTP/1.0\r\nContent-Length: 1_0\r\n\r\n0123456789", 400,
     "Content-Length with an underscore"),
    (b"POST / HTTP/1.0\r\nContent-Length: 99999999999999999999\r\n\r\n", 413, "20-digit length"),
    (b"POST / HTTP/1.0\r\nContent-Length: 1048577\r\n\r\n", 413, "one byte over 1 MiB"),
    (b"POST / HTTP/1.0\r\nContent-Length: 100\r\n\r\ndata=", 408,
     "body shorter than its Content-Length: the server stops waiting"),
]


def raw_request(url, request):
    """Sends a whole request as it is; the status of the answer."""
    host, port = url.split("//")[1].rstrip("/").split(":")
    with socket.create_connection((host, int(port)), timeout=30) as s:
        s.sendall(request)
        answer = s.makefile("rb").readline()
    return int(answer.split()[1])


def client_body():
    import norvek
    cipher = norvek.encrypt(b"0123456789abcdef",
                            norvek.chain_encrypt([0, 5, 12, 28, 44, 10], PAYLOAD))
    return cipher, norvek.sign(cipher)


@pytest.mark.parametrize("body, status, why", REQUESTS, ids=[w for *_, w in REQUESTS])
def test_server_answers(server_url, body, status, why):
    import norvek
    if not isinstance(body, bytes):
        cipher, signature = client_body()
        if body == "sig":
            signature = bytes([signature[0] ^ 0x80]) + signature[1:]
        elif body == "short":
            signature = signature[:-1]
        body = (b"data=" + norvek.uri_encode(norvek.base64_encode(cipher)) +
                b"&sig=" + norvek.uri_encode(norvek.hex_encode(signature)))
    if body.startswith(b"POST "):
        assert raw_request(server_url, body) == status
        return
    try:
        with urllib.request.urlopen(urllib.request.Request(server_url, data=body),
                                    timeout=30) as r:
            got, answer = r.status, r.read()
    except urllib.error.HTTPError as e:
        got, answer = e.code, e.read()
    assert got == status, answer
    if status == 200:
        assert answer == PAYLOAD

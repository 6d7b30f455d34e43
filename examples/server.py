#!/usr/bin/python3
"""The server side of the demo's request, over HTTP (Python's standard library).

    /usr/bin/python3 examples/server.py [--host 127.0.0.1] [--port 8080]
    build/release/examples/norvek_demo --post http://127.0.0.1:8080/

The body of a POST is the demo's query string, data=<Base64 ciphertext>&
sig=<hex signature>, both URI-escaped. The server checks the signature over
the ciphertext before anything else (403 when it does not match), then
deciphers and undoes the transform chain and answers 200 with the payload.
A malformed request gets 400, one without a Content-Length 411, a body over
1 MiB 413, and a body that does not arrive in --timeout seconds 408. It
prints "listening on URL" once it accepts connections (port 0 picks a free
one).

Needs the norvek package (make python-install, or PYTHONPATH=build/release/python).
"""
import argparse
import http.server
import sys

import norvek

KEY = b"0123456789abcdef"        # the AES-128 key the demo client shares
CHAIN = [0, 5, 12, 28, 44, 10]   # its transform chain, in the order applied
MAX_BODY = 1 << 20


class RequestHandler(http.server.BaseHTTPRequestHandler):
    server_version = "norvek-demo-server/1"

    def answer(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        text = self.headers.get("Content-Length")
        if text is None:
            return self.answer(411, b"no Content-Length\n")
        # Digits only: int() would also take signs, spaces and underscores.
        if not (text.isascii() and text.isdigit()):
            return self.answer(400, b"bad Content-Length\n")
        if int(text) > MAX_BODY:
            return self.answer(413, b"body over 1 MiB\n")
        try:
            body = self.rfile.read(int(text))
        except TimeoutError:
            return self.answer(408, b"body did not arrive\n")
        fields = dict(pair.split(b"=", 1) for pair in body.split(b"&") if b"=" in pair)
        try:
            cipher = norvek.base64_class_decode(norvek.uri_decode(fields[b"data"]))
            signature = norvek.hex_decode(norvek.uri_decode(fields[b"sig"]))
        except (KeyError, norvek.Error):
            return self.answer(400, b"malformed request\n")
        # Nothing is deciphered before the signature is known good.
        if not norvek.verify_signature(cipher, signature):
            return self.answer(403, b"bad signature\n")
        try:
            payload = norvek.chain_undo(CHAIN, norvek.decrypt(KEY, cipher))
        except norvek.Error:
            return self.answer(400, b"does not decipher\n")
        self.answer(200, payload)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8080)
    parser.add_argument("--timeout", type=float, default=30.0,
                        help="seconds a connection may stay silent")
    args = parser.parse_args()
    # Each connection's socket waits this long at most: a client that sends
    # less than it announced cannot hold its thread forever.
    RequestHandler.timeout = args.timeout
    with http.server.ThreadingHTTPServer((args.host, args.port), RequestHandler) as server:
        host, port = server.server_address[:2]
        print(f"listening on http://{host}:{port}/", flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())

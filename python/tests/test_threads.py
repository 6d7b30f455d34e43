"""Long calls release the interpreter lock: another thread runs while they do.

The interpreter's switch interval is raised for the test, so a thread that
keeps the lock through a call keeps every other Python thread waiting until
it returns. The main thread stamps the time in a loop while a worker runs
one long call; stamps between the call's start and end prove the lock was
free meanwhile. A control call that keeps the lock must get none, which
shows the check can fail.
"""
import base64
import hashlib
import sys
import threading
import time

import pytest

import norvek

KEY16 = b"0123456789abcdef"
BIG = bytes(range(256)) * (12 * 4096)  # 12 MiB
BIG_HEX = BIG[: len(BIG) // 2].hex().encode()
BIG_BASE64 = base64.b64encode(BIG)

LONG_CALLS = {
    "sha1": lambda d: norvek.sha1(d).digest(),
    "hmac_sha1": lambda d: norvek.hmac_sha1(KEY16, d),
    "sign": norvek.sign,
    "verify_signature": lambda d: norvek.verify_signature(d, bytes(20)),
    "encrypt": lambda d: norvek.encrypt(KEY16, d),
    "decrypt": lambda d: norvek.decrypt(KEY16, d[:-16]),
    "chain_encrypt": lambda d: norvek.chain_encrypt(list(range(46)), d[: len(d) // 8]),
    "transform": lambda d: norvek.transform(7, d),
    "hex_encode": norvek.hex_encode,
    "hex_decode": lambda d: norvek.hex_decode(BIG_HEX),
    "base64_encode": norvek.base64_encode,
    "base64_decode": lambda d: norvek.base64_decode(BIG_BASE64),
    "base64_class_decode": lambda d: norvek.base64_class_decode(BIG_BASE64),
    "base64_class_encode": norvek.base64_class_encode,
    "uri_encode": norvek.uri_encode,
    "aes256_encrypt": lambda d: norvek.aes256_encrypt(d, "key"),
    "system_aes128_decrypt": lambda d: norvek.system_aes128_decrypt(d, "key"),
}


@pytest.fixture(autouse=True)
def long_switch_interval():
    before = sys.getswitchinterval()
    sys.setswitchinterval(30.0)
    yield
    sys.setswitchinterval(before)


def stamps_during(call, data, each=None):
    """How many times the main thread ran while `call(data)` ran in a worker;
    `each()`, if given, runs at every stamp."""
    started, done = threading.Event(), threading.Event()
    window = []

    def worker():
        started.set()
        t0 = time.perf_counter()
        try:
            call(data)
        except norvek.Error:
            pass  # a refused input still ran the whole way
        window.extend((t0, time.perf_counter()))
        done.set()

    stamps = []
    t = threading.Thread(target=worker)
    t.start()
    started.wait()
    while not done.wait(0.0002):  # each wait gives the lock up
        stamps.append(time.perf_counter())
        if each:
            each()
    t.join()
    t0, t1 = window
    return sum(t0 < s < t1 for s in stamps)


@pytest.mark.parametrize("name", LONG_CALLS)
def test_long_calls_let_other_threads_run(name):
    # A busy machine may not schedule the main thread in one try.
    assert max(stamps_during(LONG_CALLS[name], BIG) for _ in range(3)) > 0


def test_a_call_that_keeps_the_lock_blocks_other_threads():
    assert stamps_during(lambda d: d.replace(b"\x01", b"\x02\x03").count(b"\x03"), BIG) == 0


def test_threads_hashing_one_object_lose_nothing():
    # Updates of one hash object from several threads are serialised.
    h = norvek.sha1()
    chunk = b"\x5a" * (64 * 1024)
    threads = [threading.Thread(target=lambda: [h.update(chunk) for _ in range(8)])
               for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert h.digest() == hashlib.sha1(chunk * 32).digest()


BIG_CIPHER = norvek.encrypt(KEY16, BIG)
RESIZED = {  # name: (call over one bytearray argument, that argument's bytes)
    "sign": (norvek.sign, BIG),
    "encrypt": (lambda d: norvek.encrypt(KEY16, d), BIG),
    "decrypt": (lambda d: norvek.decrypt(KEY16, d), BIG_CIPHER),
    "decrypt, the key": (lambda k: norvek.decrypt(k, BIG_CIPHER), KEY16),
}


@pytest.mark.parametrize("name", RESIZED)
def test_a_bytearray_read_unlocked_cannot_be_resized_meanwhile(name):
    # The call holds the buffers it reads, the key as well as the data:
    # growing a bytearray, which could move its storage, is refused until
    # the call returns, and the call's answer is that of the bytes it began
    # with.
    call, arg = RESIZED[name]
    data, answers, refusals = bytearray(arg), [], []

    def grow():
        try:
            data.extend(b"\x00" * 4096)
        except BufferError:
            refusals.append(True)

    for _ in range(3):  # a busy machine may not schedule the main thread in one try
        if stamps_during(lambda d: answers.append(call(d)), data, grow):
            break
    assert refusals
    assert answers[0] == call(arg)


WRITTEN = {  # name: (call over one bytearray argument, that argument's bytes)
    "decrypt": (lambda d: norvek.decrypt(KEY16, d), BIG_CIPHER),
    "encrypt": (lambda d: norvek.encrypt(KEY16, d), BIG),
    "base64_decode": (norvek.base64_decode, BIG_BASE64),
    "base64_class_decode": (norvek.base64_class_decode, BIG_BASE64),
}


@pytest.mark.parametrize("name", WRITTEN)
def test_a_bytearray_written_meanwhile_gives_an_answer_or_error_never_a_crash(name):
    # Writing is not refused: the call reads some old and some new bytes.
    # Its sizes come from the length alone, so the answer may be wrong but
    # the call stays in bounds.
    call, arg = WRITTEN[name]
    data, answers, writes = bytearray(arg), [], []

    def scribble():
        i = len(writes) * 7919 % len(data)
        data[i] ^= 0x5A
        writes.append(i)

    for _ in range(3):  # a busy machine may not schedule the main thread in one try
        if stamps_during(lambda d: answers.append(call(d)), data, scribble):
            break
    assert writes
    assert all(type(a) is bytes for a in answers)

"""The package's API: round-trip properties, oracles from Python's standard
library and pyca/cryptography, the argument tables (bad types, bad values),
a Hypothesis fuzz of argument handling, and the docstring examples."""
import base64
import binascii
import ctypes
import doctest
import hashlib
import hmac
import subprocess
import sys
import urllib.parse

import pytest
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from hypothesis import given, strategies as st

import norvek

KEY16 = b"0123456789abcdef"
some_bytes = st.binary(max_size=300)
indices = st.lists(st.integers(0, 45), max_size=12)
ex_indices = st.lists(st.integers(0, 2**31 - 1), max_size=12)
keys = st.one_of(st.none(), st.text(max_size=32).filter(lambda k: "\0" not in k
                                                      and len(k.encode()) <= 32))
bytes_like = st.sampled_from([bytes, bytearray, memoryview])


# --- round trips (Hypothesis) ----------------------------------------------

ROUND_TRIPS = {
    "hex": (norvek.hex_encode, norvek.hex_decode),
    "base64": (norvek.base64_encode, norvek.base64_decode),
    "base64_class": (norvek.base64_class_encode, norvek.base64_class_decode),
    "base64_class_web_safe": (lambda d: norvek.base64_class_encode(d, web_safe=True),
                              lambda t: norvek.base64_class_decode(t, web_safe=True)),
    "base64_class_web_safe_unpadded": (
        lambda d: norvek.base64_class_encode(d, web_safe=True, padded=False),
        lambda t: norvek.base64_class_decode(t, web_safe=True)),
    "uri": (norvek.uri_encode, norvek.uri_decode),
    "buffer_cipher": (lambda d: norvek.encrypt(KEY16, d), lambda c: norvek.decrypt(KEY16, c)),
}


@pytest.mark.parametrize("name", ROUND_TRIPS)
@given(data=some_bytes, kind=bytes_like)
def test_round_trip(name, data, kind):
    encode, decode = ROUND_TRIPS[name]
    assert decode(encode(kind(data))) == data


@given(data=some_bytes, chain=indices)
def test_chain_undo_undoes_chain_encrypt(data, chain):
    scrambled = norvek.chain_encrypt(chain, data)
    assert len(scrambled) == len(data)
    assert norvek.chain_undo(chain, scrambled) == data
    assert norvek.chain_decrypt(chain[::-1], scrambled) == data


@given(data=some_bytes, chain=ex_indices)
def test_ex_chains_take_entries_modulo_46(data, chain):
    scrambled = norvek.chain_encrypt(chain, data, ex=True)
    assert scrambled == norvek.chain_encrypt([v % 46 for v in chain], data)
    assert norvek.chain_undo(chain, scrambled, ex=True) == data


@given(data=some_bytes, row=st.integers(1, 46))
def test_transform_reverse_undoes_transform(data, row):
    assert norvek.transform(row, norvek.transform(row, data), reverse=True) == data
    assert norvek.chain_encrypt([row - 1], data) == norvek.transform(row, data)


@given(data=some_bytes, key=keys)
def test_cipher_bridges_round_trip(data, key):
    assert norvek.aes256_decrypt(norvek.aes256_encrypt(data, key), key) == data
    if key:
        assert norvek.system_aes128_decrypt(norvek.system_aes128_encrypt(data, key), key) == data


@given(data=some_bytes)
def test_signature_verifies_and_a_flipped_bit_does_not(data):
    signature = norvek.sign(data)
    assert norvek.verify_signature(data, signature)
    for i in (0, len(signature) - 1):
        forged = bytearray(signature)
        forged[i] ^= 1
        assert not norvek.verify_signature(data, forged)
    assert not norvek.verify_signature(data, signature[:-1])
    if data:
        assert not norvek.verify_signature(data[1:], signature)


@given(parts=st.lists(some_bytes, max_size=5))
def test_hash_object_streams(parts):
    h = norvek.sha1()
    for i, p in enumerate(parts):
        before = h.copy()
        h.update(p)
        assert before.digest() == hashlib.sha1(b"".join(parts[:i])).digest()
    assert h.digest() == hashlib.sha1(b"".join(parts)).digest()
    assert h.hexdigest() == h.digest().hex()


# --- oracles: the same computation elsewhere -------------------------------

def aes_cbc(key, iv, data):
    padder = padding.PKCS7(128).padder()
    enc = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return enc.update(padder.update(data) + padder.finalize()) + enc.finalize()


def pad_key(key, size):
    raw = (key or "").encode()
    return (raw + bytes(size))[:size]


ORACLES = {  # name: (norvek, oracle), both over (key bytes, data bytes)
    "sha1/hashlib": (lambda k, d: norvek.sha1(d).digest(), lambda k, d: hashlib.sha1(d).digest()),
    "hmac_sha1/hmac": (norvek.hmac_sha1, lambda k, d: hmac.digest(k, d, "sha1")),
    "hex/bytes.hex": (lambda k, d: norvek.hex_encode(d), lambda k, d: d.hex().encode()),
    "base64/base64": (lambda k, d: norvek.base64_encode(d), lambda k, d: base64.b64encode(d)),
    "base64_class/base64": (lambda k, d: norvek.base64_class_encode(d),
                            lambda k, d: base64.b64encode(d)),
    "base64_web_safe/base64": (lambda k, d: norvek.base64_class_encode(d, web_safe=True),
                               lambda k, d: base64.urlsafe_b64encode(d)),
    "base64_unpadded/base64": (
        lambda k, d: norvek.base64_class_encode(d, padded=False),
        lambda k, d: base64.b64encode(d).rstrip(b"=")),
    "uri/urllib.parse": (lambda k, d: norvek.uri_encode(d),
                         lambda k, d: urllib.parse.quote(d, safe="-_.!~*'()").encode()),
    "uri_decode/urllib.parse": (
        lambda k, d: norvek.uri_decode(urllib.parse.quote(d)),
        lambda k, d: urllib.parse.unquote_to_bytes(urllib.parse.quote(d))),
    "aes256/cryptography": (
        lambda k, d: norvek.aes256_encrypt(d, k.hex()[:32]),
        lambda k, d: aes_cbc(pad_key(k.hex()[:32], 32), bytes(16), d)),
    "system_aes128/cryptography": (
        lambda k, d: norvek.system_aes128_encrypt(d, k.hex()[:16] or "k") if d else b"",
        lambda k, d: aes_cbc(pad_key(k.hex()[:16] or "k", 16), bytes(16), d) if d else b""),
}


@pytest.mark.parametrize("name", ORACLES)
@given(key=st.binary(max_size=100), data=some_bytes)
def test_oracle(name, key, data):
    ours, theirs = ORACLES[name]
    assert ours(key, data) == theirs(key, data)


@given(data=some_bytes)
def test_decoders_accept_what_the_standard_library_writes(data):
    assert norvek.base64_decode(base64.b64encode(data).decode()) == data
    assert norvek.base64_class_decode(base64.b64encode(data)) == data
    assert norvek.base64_class_decode(base64.urlsafe_b64encode(data).rstrip(b"="),
                                      web_safe=True) == data
    assert norvek.hex_decode(data.hex().upper()) == data


def built_in_iv():
    # The first block of 16 zero bytes is the IV enciphered.
    dec = Cipher(algorithms.AES(KEY16), modes.ECB()).decryptor()
    return dec.update(norvek.encrypt(KEY16, bytes(16))[:16]) + dec.finalize()


# Around a block, the size where results leave the interpreter's small-object
# pools, and the size where calls release the interpreter lock.
CIPHER_SIZES = [0, 1, 15, 16, 17, 447, 448, 463, 464, 4079, 4080, 4096, 65536, 65541]


@pytest.mark.parametrize("size", CIPHER_SIZES)
def test_buffer_cipher_is_aes128_cbc_with_a_fixed_iv(size):
    # cryptography agrees at every size: CBC with PKCS#7 under the key's
    # first 16 bytes, the IV found from one block.
    data = bytes((i * 131 + 7) & 0xFF for i in range(size))
    cipher = aes_cbc(KEY16, built_in_iv(), data)
    assert norvek.encrypt(KEY16 + b"ignored", data) == cipher
    assert norvek.decrypt(KEY16 + b"ignored", cipher) == data
    with pytest.raises(norvek.DecipherError):
        norvek.decrypt(b"another key 0123", cipher)


# --- argument tables ---------------------------------------------------------

BAD_TYPES = [  # (call, why)
    (lambda: norvek.sha1("abc"), "str to a hash"),
    (lambda: norvek.sha1(None), "None as data"),
    (lambda: norvek.sha1().update(123), "int as data"),
    (lambda: norvek.hmac_sha1("key", b"m"), "str key"),
    (lambda: norvek.sign([1, 2]), "list as data"),
    (lambda: norvek.verify_signature(b"d", "sig"), "str signature"),
    (lambda: norvek.encrypt(b"k" * 16, "text"), "str plaintext"),
    (lambda: norvek.decrypt(None, b""), "None key"),
    (lambda: norvek.chain_encrypt("012", b"d"), "str as list"),
    (lambda: norvek.chain_encrypt([1.0], b"d"), "float entry"),
    (lambda: norvek.chain_encrypt(5, b"d"), "int as list"),
    (lambda: norvek.transform("1", b"d"), "str row"),
    (lambda: norvek.hotp(b"d", 6.0), "float digits"),
    (lambda: norvek.generate_id(b"t", b"v", b"r", None), "None positions"),
    (lambda: norvek.rand_bytes(b"3"), "bytes count"),
    (lambda: norvek.hex_encode("ab"), "str to an encoder"),
    (lambda: norvek.hex_decode(12), "int to a decoder"),
    (lambda: norvek.aes256_encrypt(b"d", b"key"), "bytes key to a bridge"),
    (lambda: norvek.system_aes128_encrypt("d", "key"), "str data to a bridge"),
    (lambda: norvek.base64_encode(memoryview(b"abcdef")[::2]), "non-contiguous view"),
]


@pytest.mark.parametrize("call, why", BAD_TYPES, ids=[w for _, w in BAD_TYPES])
def test_bad_types_raise_type_error(call, why):
    with pytest.raises(TypeError):
        call()


PAYLOAD = b"payload, more than a block long"
BUFFER_CALLS = {  # name: (call, its arguments as bytes: each also goes in every form below)
    "sha1": (lambda d: norvek.sha1(d).digest(), (PAYLOAD,)),
    "hmac_sha1": (norvek.hmac_sha1, (KEY16, PAYLOAD)),
    "sign": (norvek.sign, (PAYLOAD,)),
    "verify_signature": (norvek.verify_signature, (PAYLOAD, norvek.sign(PAYLOAD))),
    "encrypt": (norvek.encrypt, (KEY16, PAYLOAD)),
    "encrypt, short key": (norvek.encrypt, (b"short", PAYLOAD)),
    "decrypt": (norvek.decrypt, (KEY16, norvek.encrypt(KEY16, PAYLOAD))),
    "decrypt, wrong key": (norvek.decrypt, (b"f" * 16, norvek.encrypt(KEY16, PAYLOAD))),
    "decrypt, ragged": (norvek.decrypt, (KEY16, PAYLOAD)),
    "chain_encrypt": (lambda d: norvek.chain_encrypt([3, 0, 45], d), (PAYLOAD,)),
    "transform": (lambda d: norvek.transform(9, d), (PAYLOAD,)),
    "hotp": (lambda d: norvek.hotp(d, 6), (PAYLOAD,)),
    "generate_id": (lambda t, v, r: norvek.generate_id(t, v, r, [0, 2, 4, 6]),
                    (b"tag", b"v1", b"user42")),
    "hex_encode": (norvek.hex_encode, (PAYLOAD,)),
    "hex_decode": (norvek.hex_decode, (PAYLOAD.hex().encode(),)),
    "base64_encode": (norvek.base64_encode, (PAYLOAD,)),
    "base64_decode": (norvek.base64_decode, (base64.b64encode(PAYLOAD),)),
    "base64_class_encode": (norvek.base64_class_encode, (PAYLOAD,)),
    "base64_class_decode": (norvek.base64_class_decode, (base64.b64encode(PAYLOAD),)),
    "uri_encode": (norvek.uri_encode, (PAYLOAD,)),
    "uri_decode": (norvek.uri_decode, (b"a%20b%2Fc",)),
    "aes256_encrypt": (lambda d: norvek.aes256_encrypt(d, "k"), (PAYLOAD,)),
}
FORMS = {  # name: the same bytes in another bytes-like form, read in place
    "bytearray": bytearray,
    "memoryview": memoryview,
    "read-only view of a bytearray": lambda b: memoryview(bytearray(b)).toreadonly(),
    "slice inside a larger buffer": lambda b: memoryview(bytearray(b"<" + b + b">"))[1:-1],
    "2-D view": lambda b: memoryview(b).cast("B", (1, len(b))),
}


def non_contiguous(b):
    return memoryview(bytes(c for c in b for _ in range(2)))[::2]


def outcome(call, args):
    try:
        return call(*args)
    except norvek.Error as e:
        return type(e)


@pytest.mark.parametrize("name", BUFFER_CALLS)
def test_every_bytes_like_form_gives_the_same_answer(name):
    call, args = BUFFER_CALLS[name]
    expected = outcome(call, args)
    for i, arg in enumerate(args):
        for form, convert in FORMS.items():
            assert outcome(call, args[:i] + (convert(arg),) + args[i + 1:]) == expected, (i, form)
        with pytest.raises(TypeError):
            call(*args[:i], non_contiguous(arg), *args[i + 1:])


def zeros_then_fail(n, length=None):
    """An iterable of n zeros that fails the test if read further; `length`
    is what len() says of it."""
    class Zeros:
        def __iter__(self):
            yield from [0] * n
            raise AssertionError(f"read past entry {n}")
    if length is not None:
        Zeros.__len__ = lambda self: length
    return Zeros()


BAD_VALUES = [  # (call, exception, why)
    (lambda: norvek.generate_id(b"t", b"v", b"r", zeros_then_fail(13)), norvek.Error,
     "endless positions: refused after the 13th"),
    (lambda: norvek.chain_encrypt(zeros_then_fail(10, 2**31), b"d"), OverflowError,
     "a list whose length is over 32 bits, before reading it"),
    (lambda: norvek.encrypt(b"short", b"d"), norvek.BadKeyError, "buffer key under 16 bytes"),
    (lambda: norvek.decrypt(b"short", b"x" * 16), norvek.BadKeyError, "short key, decrypt"),
    (lambda: norvek.decrypt(KEY16, b""), norvek.DecipherError, "empty ciphertext"),
    (lambda: norvek.decrypt(KEY16, b"x" * 17), norvek.DecipherError, "ragged ciphertext"),
    (lambda: norvek.decrypt(KEY16, norvek.encrypt(b"f" * 16, b"data")), norvek.DecipherError,
     "wrong key"),
    (lambda: norvek.chain_encrypt([46], b"d"), norvek.RefusedListError, "entry 46"),
    (lambda: norvek.chain_encrypt([-1], b""), norvek.RefusedListError, "entry -1, empty data"),
    (lambda: norvek.chain_undo([-1], b"d", ex=True), norvek.RefusedListError, "Ex entry -1"),
    (lambda: norvek.chain_encrypt([2**31], b"d"), OverflowError, "entry over 32 bits"),
    (lambda: norvek.transform(0, b"d"), norvek.Error, "row 0"),
    (lambda: norvek.transform(47, b"d"), norvek.Error, "row 47"),
    (lambda: norvek.transform(-2**40, b"d"), OverflowError, "row over 32 bits"),
    (lambda: norvek.hotp(b"d", 0), norvek.Error, "0 digits"),
    (lambda: norvek.hotp(b"d", 13), norvek.Error, "13 digits"),
    (lambda: norvek.hotp(b"d", 2**63), OverflowError, "digits over 64 bits"),
    (lambda: norvek.generate_id(b"t", b"v", b"r", [0, 1, 2]), norvek.Error, "3 positions"),
    (lambda: norvek.generate_id(b"t", b"v", b"r", range(13)), norvek.Error, "13 positions"),
    (lambda: norvek.rand_bytes(-1), ValueError, "negative count"),
    (lambda: norvek.rand_bytes(2**31), OverflowError, "count over 32 bits"),
    (lambda: norvek.hex_decode("abc"), norvek.Error, "odd hex"),
    (lambda: norvek.hex_decode("zz"), norvek.Error, "non-hex digit"),
    (lambda: norvek.base64_class_decode("YWJj*A=="), norvek.Error, "junk in Base64"),
    (lambda: norvek.base64_class_decode("YWJjZA"), norvek.Error, "standard, unpadded"),
    (lambda: norvek.base64_class_decode("===="), norvek.Error, "only padding"),
    (lambda: norvek.uri_decode("%4"), norvek.Error, "escape cut short"),
    (lambda: norvek.uri_decode("%zz"), norvek.Error, "escape not hex"),
    (lambda: norvek.uri_decode("a\0b"), norvek.Error, "zero character"),
    (lambda: norvek.system_aes128_encrypt(b"d", None), norvek.BadKeyError, "128 without key"),
    (lambda: norvek.system_aes128_encrypt(b"d", ""), norvek.BadKeyError, "128, empty key"),
    (lambda: norvek.aes256_encrypt(b"d", "k" * 33), norvek.BadKeyError, "key over 32 bytes"),
    (lambda: norvek.aes256_encrypt(b"d", "\u00e9" * 17), norvek.BadKeyError,
     "17 non-ASCII characters, 34 bytes"),
    (lambda: norvek.aes256_encrypt(b"d", "a\0b"), norvek.BadKeyError, "zero in the key"),
    (lambda: norvek.aes256_decrypt(b"x" * 16, "k"), norvek.DecipherError, "bad padding"),
    (lambda: norvek.system_aes128_decrypt(b"x" * 5, "k"), norvek.DecipherError, "ragged"),
    (lambda: norvek.aes256_encrypt(b"d", "\ud800"), UnicodeEncodeError, "lone surrogate key"),
]


@pytest.mark.parametrize("call, error, why", BAD_VALUES, ids=[w for *_, w in BAD_VALUES])
def test_bad_values_raise(call, error, why):
    with pytest.raises(error):
        call()


# (call, why): room is left for two copies of `big`, 64 MiB of zeros; `wide`,
# 160 MiB of address space never touched, is read in place, so only an
# output of its size passes the room.
OUT_OF_MEMORY = [
    ("norvek.rand_bytes(2**31 - 1)", "2 GiB of random bytes"),
    ("norvek.encrypt(b'k' * 16, wide)", "the ciphertext's room"),
    ("norvek.decrypt(b'k' * 16, wide)", "the plaintext's room"),
    ("norvek.chain_encrypt([1], wide)", "the chain's working copy"),
    ("norvek.base64_class_encode(big)", "the codec class's text, 4/3 of the input, twice"),
    ("norvek.uri_encode(big)", "escaped text three times the input"),
]


@pytest.fixture(scope="module")
def out_of_memory_answers():
    # One interpreter, its address space capped just above what it holds, runs
    # every row and names the exception each raised.
    script = """
import mmap, resource, sys
import norvek
big = bytes(64 << 20)
wide = memoryview(mmap.mmap(-1, 160 << 20))
in_use = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
limit = in_use + (144 << 20)
resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
for line in sys.stdin.read().splitlines():
    try:
        eval(line)
        print("no exception", flush=True)
    except BaseException as e:
        print(type(e).__name__, flush=True)
"""
    calls = "\n".join(call for call, _ in OUT_OF_MEMORY)
    r = subprocess.run([sys.executable, "-c", script], input=calls, capture_output=True,
                       text=True, timeout=300)
    assert r.returncode == 0, r.stderr
    return dict(zip((call for call, _ in OUT_OF_MEMORY), r.stdout.splitlines()))


@pytest.mark.parametrize("call, why", OUT_OF_MEMORY, ids=[w for _, w in OUT_OF_MEMORY])
def test_out_of_memory_raises_memory_error(out_of_memory_answers, call, why):
    assert out_of_memory_answers[call] == "MemoryError"


def test_error_hierarchy():
    for sub in (norvek.DecipherError, norvek.RefusedListError, norvek.BadKeyError):
        assert issubclass(sub, norvek.Error)
    assert issubclass(norvek.Error, ValueError)


LEGITIMATELY_EMPTY = [  # (call, result, why): empty answers that are not failures
    (lambda: norvek.decrypt(KEY16, norvek.encrypt(KEY16, b"")), b"", "empty plaintext"),
    (lambda: len(norvek.encrypt(KEY16, b"")), 16, "empty plaintext enciphers to a block"),
    (lambda: norvek.chain_encrypt([1, 2], b""), b"", "chain over nothing"),
    (lambda: norvek.chain_encrypt([], b"abc"), b"abc", "empty list copies"),
    (lambda: norvek.hex_decode(""), b"", "empty hex"),
    (lambda: norvek.base64_class_decode(b""), b"", "empty Base64, codec class"),
    (lambda: norvek.base64_class_encode(b""), b"", "empty input, codec class"),
    (lambda: norvek.base64_decode("\0abc"), b"", "plain decoder stops at a zero"),
    (lambda: norvek.uri_decode(""), b"", "empty URI component"),
    (lambda: norvek.system_aes128_encrypt(b"", None), b"", "empty data comes back"),
    (lambda: len(norvek.aes256_encrypt(b"", None)), 16, "nil key is 32 zero bytes"),
    (lambda: len(norvek.rand_bytes(0)), 3, "at least 3 random bytes"),
    (lambda: norvek.transform(5, b""), b"", "transform of nothing"),
]


@pytest.mark.parametrize("call, result, why", LEGITIMATELY_EMPTY,
                         ids=[w for *_, w in LEGITIMATELY_EMPTY])
def test_legitimate_empty_answers(call, result, why):
    assert call() == result


def test_in_place_work_never_reaches_shared_objects():
    # CPython shares its one-byte bytes objects; the transforms work in
    # place, so each must write a private copy.
    singles = [bytes([i]) for i in range(256)]
    for row in range(1, 47):
        for s in singles:
            norvek.transform(row, s)
        assert [s[0] for s in singles] == list(range(256)), f"row {row}"


def test_inputs_are_not_changed():
    text = b"00112233445566778899aabbccddeeff"
    data = bytearray(text)
    for call in (lambda d: norvek.transform(3, d), lambda d: norvek.chain_encrypt([1, 2], d),
                 lambda d: norvek.encrypt(KEY16, d), norvek.hex_decode, norvek.sign):
        call(data)
        assert data == text


# --- what the binding's own memory keeps after a call ----------------------
# A key or plaintext the binding copies or decodes must not stay readable in
# memory it gives back, on a failure path or when a result is cut short. Each
# row's call handles SECRET (whose other copies, the result among them, stay
# alive here); then new areas of the size the binding let go, which the
# allocators hand out from what was just given back, must not hold any of it.

SECRET = bytes(range(0x80, 0xB0))
SECRET_HEX = binascii.hexlify(SECRET)
LONG_SECRET_HEX = binascii.hexlify(SECRET * 10)  # past the interpreter's small-object pools
SECRET_CIPHER = norvek.encrypt(KEY16, SECRET)
SECRET_BASE64 = base64.b64encode(SECRET[:-1])  # ends in padding
BRIDGE_KEY = "a key of the platform cipher"
SECRET_AES256 = norvek.aes256_encrypt(SECRET, BRIDGE_KEY)
SECRET_AES128 = norvek.system_aes128_encrypt(SECRET, BRIDGE_KEY[:16])
CHAIN = [7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 2, 5, 3, 1, 44, 9, 8, 6, 4, 10, 12, 14, 16]
CHAIN_BYTES = b"".join(i.to_bytes(4, sys.byteorder) for i in CHAIN)


def raises(call):
    def run():
        with pytest.raises(Exception):
            call()
    return run


def new_bytes_objects(size, count=64):
    """What `count` new bytes objects of `size` bytes find in their storage
    before anything is written there."""
    make = ctypes.pythonapi.PyBytes_FromStringAndSize
    make.restype, make.argtypes = ctypes.py_object, [ctypes.c_char_p, ctypes.c_ssize_t]
    return [bytes(make(None, size)) for _ in range(count)]


def new_heap_areas(size, count=64):
    """What `count` areas of `size` bytes from the C heap find in their storage."""
    libc = ctypes.CDLL(None)
    libc.malloc.restype, libc.malloc.argtypes = ctypes.c_void_p, [ctypes.c_size_t]
    libc.free.argtypes = [ctypes.c_void_p]
    areas = [libc.malloc(size) for _ in range(count)]
    found = [ctypes.string_at(a, size) for a in areas]
    for a in areas:
        libc.free(a)
    return found


LEFT_BEHIND = [  # (call, areas of the size it gave back, what they must not hold, why)
    (raises(lambda: norvek.hex_decode(SECRET_HEX + b"zz")),
     lambda: new_bytes_objects(len(SECRET_HEX) + 2), SECRET[8:40],
     "hex_decode refusing a digit after the secret"),
    (raises(lambda: norvek.hex_decode(LONG_SECRET_HEX + b"zz")),
     lambda: new_heap_areas(sys.getsizeof(LONG_SECRET_HEX + b"zz")), SECRET[8:40],
     "hex_decode refusing a digit after a long secret"),
    (lambda: norvek.hex_decode(SECRET_HEX), lambda: new_bytes_objects(len(SECRET_HEX)),
     SECRET[8:40], "hex_decode cutting its copy to the decoded half"),
    (lambda: norvek.base64_decode(SECRET_BASE64 + b"A" * 200),
     lambda: new_bytes_objects((len(SECRET_BASE64) + 203) // 4 * 3), SECRET[8:40],
     "base64_decode stopping at the padding, long before its room's end"),
    (lambda: norvek.decrypt(KEY16, SECRET_CIPHER),
     lambda: new_bytes_objects(len(SECRET_CIPHER) + 16), SECRET[8:40],
     "decrypt copying the plaintext out of its room"),
    (lambda: norvek.aes256_decrypt(SECRET_AES256, BRIDGE_KEY),
     lambda: new_heap_areas(len(SECRET_AES256) + 16), SECRET[16:40],
     "aes256_decrypt: the platform's plaintext object"),
    (lambda: norvek.system_aes128_decrypt(SECRET_AES128, BRIDGE_KEY[:16]),
     lambda: new_heap_areas(len(SECRET)), SECRET[16:40],
     "system_aes128_decrypt: the platform's plaintext object"),
    (lambda: norvek.base64_class_decode(base64.b64encode(SECRET)),
     lambda: new_heap_areas(len(SECRET)), SECRET[16:40],
     "base64_class_decode: the codec's data object"),
    (raises(lambda: norvek.chain_encrypt(CHAIN + ["x"], b"abc")),
     lambda: new_heap_areas(4 * (len(CHAIN) + 1)), CHAIN_BYTES[16:80],
     "a chain whose last entry is not an int"),
    (lambda: norvek.chain_encrypt((i for i in CHAIN), b"abc"),
     lambda: new_heap_areas(4 * 16), CHAIN_BYTES[16:64],
     "a chain from a generator, its list grown as it is read"),
]


@pytest.mark.parametrize("call, areas, secret, why", LEFT_BEHIND,
                         ids=[w for *_, w in LEFT_BEHIND])
def test_memory_given_back_holds_no_secret(call, areas, secret, why):
    result = call()
    assert not any(secret in area for area in areas())
    del result


def test_hash_object_shape():
    h = norvek.sha1(b"a")
    c = h.copy()
    c.update(b"bc")
    assert (h.digest_size, h.block_size, h.name) == (20, 64, "sha1")
    assert h.digest() == hashlib.sha1(b"a").digest()  # the copy is independent
    assert c.hexdigest() == hashlib.sha1(b"abc").hexdigest()
    assert h.digest() == h.digest()  # digest leaves the object open


# --- fuzz of argument handling ----------------------------------------------

anything = st.one_of(st.none(), st.booleans(), st.integers(-2**70, 2**70), st.floats(),
                     st.binary(max_size=40), st.text(max_size=40),
                     st.lists(st.integers(-2**40, 2**40), max_size=14),
                     st.builds(bytearray, st.binary(max_size=40)),
                     st.builds(memoryview, st.binary(max_size=40)))
FUNCTIONS = [name for name in norvek.__all__ if callable(getattr(norvek, name))
             and not isinstance(getattr(norvek, name), type)]


@pytest.mark.parametrize("name", FUNCTIONS)
@given(args=st.lists(anything, max_size=5))
def test_any_arguments_give_a_result_or_an_ordinary_exception(name, args):
    try:
        getattr(norvek, name)(*args)
    except (TypeError, ValueError, OverflowError):
        pass


# --- documentation -----------------------------------------------------------

def test_docstring_examples_run():
    finder = doctest.DocTestFinder(exclude_empty=False)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    objects = [norvek] + [getattr(norvek, n) for n in norvek.__all__]
    objects += [getattr(norvek.Sha1, m) for m in ("update", "digest", "hexdigest", "copy")]
    missing = []
    for obj in objects:
        tests = [t for t in finder.find(obj, getattr(obj, "__name__", "norvek"),
                                        globs={"norvek": norvek}) if t.examples]
        if not tests and not (isinstance(obj, type) and issubclass(obj, Exception)):
            missing.append(getattr(obj, "__name__", repr(obj)))
        for t in tests:
            runner.run(t)
    assert not missing, f"no example in the docstring of {missing}"
    assert runner.failures == 0

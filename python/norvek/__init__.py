"""NorVek's schemes for Python: the library's public interface, one call each.

Every function here is one call into the C++ library (``include/norvek/``);
the package adds no scheme of its own, so a server gets exactly the bytes an
app linking the library produces.

Inputs are C-contiguous bytes-like objects (bytes, bytearray, memoryview),
read in place; decoders also take a str. Results are ``bytes``. A failure
never comes back as an empty result:

- ``norvek.Error`` (a ``ValueError``) when the library refuses or fails, with
  the subclasses ``DecipherError`` (bad padding or ciphertext length),
  ``RefusedListError`` (a transform chain with an entry out of range) and
  ``BadKeyError`` (a key the cipher does not take);
- ``TypeError`` for an argument of the wrong type, ``OverflowError`` for an
  integer outside 32 bits, ``MemoryError`` when an allocation fails.

Calls on large inputs release the interpreter lock, so threads run them in
parallel. A bytearray a call reads cannot be resized meanwhile (BufferError);
writing to it meanwhile gives a wrong answer or an error, never a crash.

A request as the server sees it::

    >>> import norvek
    >>> key = b"0123456789abcdef"
    >>> chain = [0, 5, 12, 28, 44, 10]
    >>> cipher = norvek.encrypt(key, norvek.chain_encrypt(chain, b'{"user":42}'))
    >>> signature = norvek.sign(cipher)
    >>> norvek.verify_signature(cipher, signature)
    True
    >>> norvek.chain_undo(chain, norvek.decrypt(key, cipher))
    b'{"user":42}'
"""

from ._norvek import (
    RELEASE_GIL_BYTES,
    BadKeyError,
    DecipherError,
    Error,
    RefusedListError,
    Sha1,
    aes256_decrypt,
    aes256_encrypt,
    base64_class_decode,
    base64_class_encode,
    base64_decode,
    base64_encode,
    chain_decrypt,
    chain_encrypt,
    chain_undo,
    decrypt,
    encrypt,
    generate_id,
    hex_decode,
    hex_encode,
    hmac_sha1,
    hotp,
    rand_bytes,
    sha1,
    sign,
    system_aes128_decrypt,
    system_aes128_encrypt,
    transform,
    uri_decode,
    uri_encode,
    verify_signature,
)

__version__ = "1.0.0"

__all__ = [
    "Error",
    "DecipherError",
    "RefusedListError",
    "BadKeyError",
    "Sha1",
    "sha1",
    "hmac_sha1",
    "sign",
    "verify_signature",
    "encrypt",
    "decrypt",
    "chain_encrypt",
    "chain_decrypt",
    "chain_undo",
    "transform",
    "hotp",
    "generate_id",
    "rand_bytes",
    "hex_encode",
    "hex_decode",
    "base64_encode",
    "base64_decode",
    "base64_class_encode",
    "base64_class_decode",
    "uri_encode",
    "uri_decode",
    "system_aes128_encrypt",
    "system_aes128_decrypt",
    "aes256_encrypt",
    "aes256_decrypt",
    "RELEASE_GIL_BYTES",
]

# Documented as norvek.X rather than norvek._norvek.X.
for _name in __all__[:-1]:
    try:
        globals()[_name].__module__ = __name__
    except (AttributeError, TypeError):
        pass
del _name

// The whole public interface of the NorVek crypto support library.
#pragma once

#include "norvek/aes.h"
#include "norvek/base64.h"
#include "norvek/base64_codec.h"
#include "norvek/buffer.h"
#include "norvek/buffer_view.h"
#include "norvek/crypto_helper.h"
#include "norvek/hmac_sha1.h"
#include "norvek/sha1.h"
#include "norvek/transforms.h"
#include "norvek/url.h"

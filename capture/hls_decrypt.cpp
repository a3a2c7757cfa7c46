// AES-128-CBC segment decryption on OpenSSL's EVP interface.
#include "hls_decrypt.h"

#include <openssl/evp.h>

#include <climits>

namespace netgrab {

void ivFromSequence(int64_t sequence, uint8_t iv[16])
{
    uint64_t value = static_cast<uint64_t>(sequence);
    for (int i = 15; i >= 0; --i) {
        iv[i] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

SegmentDecryptor::SegmentDecryptor() : context_(EVP_CIPHER_CTX_new()) {}

SegmentDecryptor::~SegmentDecryptor()
{
    EVP_CIPHER_CTX_free(context_);
}

bool SegmentDecryptor::begin(const uint8_t key[16], const uint8_t iv[16])
{
    return context_ && EVP_CIPHER_CTX_reset(context_) == 1
        && EVP_DecryptInit_ex(context_, EVP_aes_128_cbc(), nullptr, key, iv) == 1;
}

bool SegmentDecryptor::update(const uint8_t *bytes, size_t length, std::string &out)
{
    while (length > 0) {
        const int piece = length > 65536 ? 65536 : static_cast<int>(length);
        const size_t before = out.size();
        out.resize(before + static_cast<size_t>(piece) + 16);
        int written = 0;
        if (EVP_DecryptUpdate(context_, reinterpret_cast<unsigned char *>(&out[before]), &written, bytes, piece) != 1) {
            out.resize(before);
            return false;
        }
        out.resize(before + static_cast<size_t>(written));
        bytes += piece;
        length -= static_cast<size_t>(piece);
    }
    return true;
}

bool SegmentDecryptor::finish(std::string &out)
{
    unsigned char last[32];
    int written = 0;
    if (EVP_DecryptFinal_ex(context_, last, &written) != 1)
        return false;
    out.append(reinterpret_cast<const char *>(last), static_cast<size_t>(written));
    return true;
}

}  // namespace netgrab

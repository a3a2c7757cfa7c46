#pragma once
// AES-128-CBC with PKCS#7 padding as an HLS server encrypts a segment
// (OpenSSL), for the tests of the decryption.

#include <openssl/evp.h>

#include <cstdint>
#include <string>

namespace testutil {

inline std::string encryptSegment(const std::string &plain, const uint8_t key[16], const uint8_t iv[16])
{
    EVP_CIPHER_CTX *c = EVP_CIPHER_CTX_new();
    std::string out(plain.size() + 16, '\0');
    int n = 0, m = 0;
    EVP_EncryptInit_ex(c, EVP_aes_128_cbc(), nullptr, key, iv);
    EVP_EncryptUpdate(c, reinterpret_cast<unsigned char *>(&out[0]), &n,
                      reinterpret_cast<const unsigned char *>(plain.data()), static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(c, reinterpret_cast<unsigned char *>(&out[n]), &m);
    EVP_CIPHER_CTX_free(c);
    out.resize(static_cast<size_t>(n + m));
    return out;
}

}  // namespace testutil

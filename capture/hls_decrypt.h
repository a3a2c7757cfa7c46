#pragma once
// AES-128 segments (RFC 8216 section 5.2): each segment is AES-128-CBC with
// PKCS#7 padding, under a 16-byte key fetched from the key URI, with the IV
// of the EXT-X-KEY tag or, without one, the segment's media sequence number
// as a 16-byte big-endian number. The cipher is OpenSSL's.

#include <cstddef>
#include <cstdint>
#include <string>

struct evp_cipher_ctx_st;

namespace netgrab {

// The IV of a segment without an IV attribute.
void ivFromSequence(int64_t sequence, uint8_t iv[16]);

class SegmentDecryptor
{
public:
    SegmentDecryptor();
    ~SegmentDecryptor();
    SegmentDecryptor(const SegmentDecryptor &) = delete;
    SegmentDecryptor &operator=(const SegmentDecryptor &) = delete;

    // Starts one segment. False when the cipher cannot be set up.
    bool begin(const uint8_t key[16], const uint8_t iv[16]);
    // Appends the plain bytes of these cipher bytes to out (the last block
    // is held back until finish()). False on a cipher fault.
    bool update(const uint8_t *bytes, size_t length, std::string &out);
    // Ends the segment: checks and removes the padding. False when the
    // segment was not a whole number of blocks or its padding is wrong.
    bool finish(std::string &out);

private:
    evp_cipher_ctx_st *context_;
};

}  // namespace netgrab

// AES-128 segment decryption: the known answer of NIST SP 800-38A, whole
// segments in any pieces, and faults that must not pass as audio.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hls_decrypt.h"
#include "segment_cipher.h"

using namespace netgrab;

namespace {

const uint8_t kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                          0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const uint8_t kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

bool decrypt(SegmentDecryptor &d, const std::string &cipher, size_t piece, std::string &plain,
             const uint8_t *key = kKey)
{
    plain.clear();
    if (!d.begin(key, kIv))
        return false;
    for (size_t at = 0; at < cipher.size(); at += piece)
        if (!d.update(reinterpret_cast<const uint8_t *>(cipher.data()) + at, std::min(piece, cipher.size() - at),
                      plain))
            return false;
    return d.finish(plain);
}

}  // namespace

TEST(HlsDecrypt, KnownAnswerAndSegmentsInPieces)
{
    // SP 800-38A F.2.1: the first block of CBC-AES128.
    const std::string block("\x6b\xc1\xbe\xe2\x2e\x40\x9f\x96\xe9\x3d\x7e\x11\x73\x93\x17\x2a", 16);
    const std::string cipher = testutil::encryptSegment(block, kKey, kIv);
    ASSERT_EQ(cipher.size(), 32u);
    EXPECT_EQ(cipher.substr(0, 16),
              std::string("\x76\x49\xab\xac\x81\x19\xb2\x46\xce\xe9\x8e\x9b\x12\xe9\x19\x7d", 16));

    SegmentDecryptor d;
    std::string plain;
    for (size_t size : {0u, 1u, 15u, 16u, 17u, 188u * 40}) {
        std::string segment(size, '\0');
        for (size_t i = 0; i < size; ++i)
            segment[i] = static_cast<char>(i * 7 + 3);
        const std::string encrypted = testutil::encryptSegment(segment, kKey, kIv);
        for (size_t piece : {1u, 16u, 100u, 70000u}) {
            ASSERT_TRUE(decrypt(d, encrypted, piece, plain)) << size << " " << piece;
            EXPECT_EQ(plain, segment) << size << " " << piece;
        }
    }
}

TEST(HlsDecrypt, FaultsAreRefused)
{
    SegmentDecryptor d;
    std::string plain;
    const std::string encrypted = testutil::encryptSegment(std::string(1000, 'a'), kKey, kIv);
    EXPECT_FALSE(decrypt(d, encrypted.substr(0, encrypted.size() - 5), 64, plain));  // cut short
    EXPECT_FALSE(decrypt(d, std::string(), 64, plain));                              // empty
    uint8_t wrong[16];
    std::memcpy(wrong, kKey, 16);
    wrong[0] ^= 1;
    EXPECT_FALSE(decrypt(d, encrypted, 64, plain, wrong));  // padding of a wrong key
    // The decryptor starts clean after a fault.
    ASSERT_TRUE(decrypt(d, encrypted, 64, plain));
    EXPECT_EQ(plain, std::string(1000, 'a'));
}

TEST(HlsDecrypt, IvFromSequenceIsBigEndian)
{
    uint8_t iv[16];
    ivFromSequence(0x0102030405, iv);
    const uint8_t want[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5};
    EXPECT_EQ(std::memcmp(iv, want, 16), 0);
}

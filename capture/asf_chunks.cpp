// ASF packet assembly, the "$H"/"$D" chunk framing [MS-WMSP] 2.2.3 and the
// header gate shared by the Windows Media routes.
#include "asf_chunks.h"

#include <cstdio>
#include <cstring>

#include "byte_reader.h"
#include "capture_state.h"
#include "mms_wire.h"
#include "netgrab.h"
#include "output_file.h"
#include "trace.h"

namespace netgrab {

void completeAsfPacket(CaptureState &s, AsfPacketSession &p)
{
    const int target = p.packetSize;
    // Packets go only behind an accepted header (which set the packet
    // size), are never longer than the packet size, and stop at the first
    // write that fails.
    if (s.output.writeFailed || target < static_cast<int>(kMinAsfPacketSize)
        || target > static_cast<int>(kMaxAsfPacketSize) || p.fill > target) {
        p.fill = 0;
        return;
    }
    if (p.fill < target) {
        std::memset(p.buffer + p.fill, 0, static_cast<size_t>(target - p.fill));
        p.fill = target;
    }
    if (!writeOutput(s, p.buffer, p.fill)) {
        p.fill = 0;
        return;
    }
    shared().recordedBytes += p.fill;
    p.packetCount += 1;
    AsfPacketTiming timing;
    if (readAsfPacketTiming(p.buffer, static_cast<size_t>(p.fill), &timing))
        p.timeline.add(timing);
    p.fill = 0;
}

int takePacketBytes(AsfPacketSession &p, const unsigned char *bytes, int available, int32_t &copied, int32_t length)
{
    const int wanted = length - copied;
    const int n = wanted < available ? wanted : available;
    if (n > 0)
        copied += n;
    const int room = kAssemblyBufferSize - p.fill;
    const int take = n < room ? n : room;
    if (take > 0) {
        std::memcpy(p.buffer + p.fill, bytes, static_cast<size_t>(take));
        p.fill += take;
    }
    return n;
}

void feedDataChunks(CaptureState &s, AsfChunkReader &r, AsfPacketSession &p, const unsigned char *block, int length)
{
    for (int i = 0; i < length; ++i) {
        const unsigned char b = block[i];
        switch (r.step) {
        case AsfChunkStep::Mark:
            if (b == wire::kChunkMark || b == wire::kChunkMarkAlt)
                r.step = AsfChunkStep::Type;
            break;
        case AsfChunkStep::Type:
            r.prefixFill = 0;
            r.step = b == wire::kChunkData ? AsfChunkStep::Prefix : AsfChunkStep::Mark;
            break;
        case AsfChunkStep::Prefix: {
            r.prefix[r.prefixFill++] = b;
            if (r.prefixFill < kChunkPrefixBytes)
                break;
            ByteReader prefix(r.prefix, sizeof r.prefix);
            r.chunkLength = prefix.le16() - wire::kChunkFramingBytes;
            prefix.skip(wire::kChunkFramingBytes);  // location id, incarnation, flags, size
            r.chunkCopied = 0;
            r.errorCorrectionFill = 0;
            // A packet longer than the packet size is not recorded (its
            // payload is passed over whole); one shorter than its three
            // error correction bytes is no packet.
            if (r.chunkLength > 0 && r.chunkLength > p.packetSize)
                r.step = AsfChunkStep::Skip;
            else
                r.step =
                    r.chunkLength >= wire::kErrorCorrectionBytes ? AsfChunkStep::ErrorCorrection : AsfChunkStep::Mark;
            break;
        }
        case AsfChunkStep::ErrorCorrection:
            if (b != wire::kErrorCorrectionStart[r.errorCorrectionFill]) {
                r.step = AsfChunkStep::Mark;
                break;
            }
            if (++r.errorCorrectionFill < wire::kErrorCorrectionBytes)
                break;
            p.fill = 0;
            r.chunkCopied = 0;
            takePacketBytes(p, wire::kErrorCorrectionStart, wire::kErrorCorrectionBytes, r.chunkCopied,
                            wire::kErrorCorrectionBytes);
            if (r.chunkCopied >= r.chunkLength) {
                completeAsfPacket(s, p);
                r.step = AsfChunkStep::Mark;
            } else {
                r.step = AsfChunkStep::Payload;
            }
            break;
        case AsfChunkStep::Payload: {
            // Copy as much of the payload as this block holds in one go.
            i += takePacketBytes(p, block + i, length - i, r.chunkCopied, r.chunkLength) - 1;
            if (r.chunkCopied >= r.chunkLength) {
                completeAsfPacket(s, p);
                r.step = AsfChunkStep::Mark;
            }
            break;
        }
        case AsfChunkStep::Skip: {
            const int n = passOver(r.chunkCopied, r.chunkLength, length - i);
            if (n > 0)
                i += n - 1;
            if (n <= 0 || r.chunkCopied >= r.chunkLength)
                r.step = AsfChunkStep::Mark;
            break;
        }
        }
    }
}

AsfHeaderChunks collectHeaderChunks(const unsigned char *answer, int count, unsigned char *out, int capacity)
{
    AsfHeaderChunks got;
    int i = 0;
    while (i < count) {
        if (answer[i] != wire::kChunkMark || i + 1 >= count || answer[i + 1] != wire::kChunkHeader) {
            ++i;
            continue;
        }
        // '$' 'H' <length LE16> <8 framing bytes> <payload of length - 8>
        ByteReader chunk(answer + i, static_cast<size_t>(count - i));
        if (chunk.remaining() < wire::kChunkStartBytes) {
            got.found = got.found || chunk.remaining() > 2;  // a length byte arrived
            break;                                           // the length's high byte is missing: nothing to take
        }
        got.found = true;
        chunk.skip(2);
        int payload = chunk.le16() - wire::kChunkFramingBytes;
        int start = i + wire::kChunkStartBytes + wire::kChunkFramingBytes;
        if (payload < 0)
            payload = 0;
        if (start > count)
            start = count;
        if (payload > count - start)
            payload = count - start;  // only bytes that arrived
        const int room = capacity - got.length;
        const int take = payload < room ? payload : room;
        if (take > 0) {
            std::memcpy(out + got.length, answer + start, static_cast<size_t>(take));
            got.length += take;
        }
        if (payload > 0)
            got.lastPayload = payload;
        i = start + payload;
    }
    return got;
}

bool acceptStreamHeader(CaptureState &s, AsfPacketSession &p, const unsigned char *header, int length)
{
    const AsfHeaderCheck check = checkAsfHeader(header, length > 0 ? static_cast<size_t>(length) : 0);
    if (!check.usable) {
        traceFormat("stream header refused: %s", check.fault);
        shared().lastError = NG_ERR_NO_STREAM_HEADER;
        return false;
    }
    p.packetSize = static_cast<int32_t>(check.packetSize);
    // The file open now is outputBase.wma; when it holds a recording whose
    // streams differ, the packets go into outputBase-2.wma, -3, ... instead.
    unsigned char head[kRecordingHeadBytes];
    for (int variant = 0; variant <= kMaxOutputVariant; variant = variant == 0 ? 2 : variant + 1) {
        if (variant > 0 && !openOutputVariant(s, ".wma", variant))
            return false;
        if (!s.output.file)
            return false;
        if (s.output.appendMode == 0) {
            if (!writeOutput(s, header, static_cast<int>(check.length)))
                return false;
            traceFormat("stream header write : %u", check.length);
            return true;
        }
        size_t got = 0;
        if (std::fseek(s.output.file, 0, SEEK_SET) == 0)
            got = std::fread(head, 1, sizeof head, s.output.file);
        std::fseek(s.output.file, 0, SEEK_END);
        if (sameAsfStreams(head, got, header, check.length))
            return true;
        traceFormat("stream header differs from the recording's: file %d is next", variant == 0 ? 2 : variant + 1);
    }
    closeOutput(s.output);
    shared().lastError = NG_ERR_FILE_OPEN;
    return false;
}

void finishAsfFile(CaptureState &s, AsfPacketSession &p)
{
    FILE *f = s.output.file;
    if (!f)
        return;
    unsigned char head[kAsfFixUpWindow];
    if (std::fseek(f, 0, SEEK_SET) != 0)
        return;
    size_t got = std::fread(head, 1, sizeof head, f);
    if (std::fseek(f, 0, SEEK_END) != 0)
        return;
    long end = std::ftell(f);
    if (end < 0)
        return;

    AsfFinalCounts counts;
    counts.fileSize = static_cast<uint64_t>(end);
    counts.packetCount = static_cast<uint32_t>(p.packetCount);
    counts.appendMode = s.output.appendMode != 0;
    counts.haveTimeline = !p.timeline.empty();
    counts.recordedMs = p.timeline.totalMs();
    AsfFixUp fix = fixUpAsfHeader(head, got, counts);
    if (!fix.foundFileProperties)
        return;
    p.packetCount = static_cast<int32_t>(fix.packetCount);
    shared().recordedBytes = static_cast<int32_t>(end);
    if (!fix.written)
        return;
    traceFormat("stop file!!  %d   --- rcv = %d", static_cast<int>(end), static_cast<int>(shared().recordedBytes));
    // Write back exactly the bytes read: never more than the file held.
    if (std::fseek(f, 0, SEEK_SET) == 0) {
        std::fwrite(head, 1, got, f);
        std::fflush(f);
    }
    std::fseek(f, 0, SEEK_END);
    // The byte count keeps the file's size: the recorders report it when
    // they end, and a finished recording is not "0 bytes".
    p.fill = 0;
}

}  // namespace netgrab

// A zlib stream for a PNG's rows, made quickly enough to keep pace with drawing.
//
// Rendered frames are mostly runs of one colour and shapes whose rows repeat, which show as the
// next four bytes equal to those a pixel before, a row above or a byte before; the rest are
// literals. So: greedy matching against those three places alone, with no table to keep, and
// each slice of symbols in a block with Huffman codes of its own. Literals are kept apart from
// the matches, so that a run of them is found thirteen places at a time and written three at
// once. Measured on the demo's frames, a general-purpose compressor at its fastest level spends
// over four times as long, for files some 8 % smaller, and probing a hash of the four bytes as
// well makes them 7 % smaller for 50 % more time.
#include "frames/deflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "frames/processor.h"

#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

// Matches are measured and bits packed eight bytes at a time, the first byte the lowest.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a little-endian machine");

namespace {

const size_t minMatch = 4;
const size_t maxMatch = 258;
const size_t window = 32768;
// Symbols a block holds: enough to pay for its code tables, few enough to follow the picture.
const size_t blockSymbols = 1 << 16;
// Symbols of the literal and length alphabet, with end of block at 256.
const int literalLengthSymbols = 286;
const int endOfBlock = 256;
const int distanceSymbols = 30;

const uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t distanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                   33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t distanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a block's header lists the lengths of the code-length code.
const uint8_t codeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                     11, 4,  12, 3, 13, 2, 14, 1, 15};

// Which length code a match length has, and which distance code a distance has.
struct CodeTables {
    std::array<uint8_t, maxMatch + 1> lengthCode{};
    std::array<uint8_t, 257> nearDistanceCode{}; // distances up to 256
    std::array<uint8_t, 256> farDistanceCode{};  // by (distance - 1) >> 7 beyond them
    CodeTables() {
        for (int code = 0; code < 29; ++code) {
            const int last = code == 28 ? 258 : lengthBase[code + 1] - 1;
            for (int length = lengthBase[code]; length <= last; ++length) {
                lengthCode[static_cast<size_t>(length)] = static_cast<uint8_t>(code);
            }
        }
        for (int code = 0; code < distanceSymbols; ++code) {
            const int last = distanceBase[code] + (1 << distanceExtra[code]) - 1;
            for (int distance = distanceBase[code]; distance <= last; ++distance) {
                if (distance <= 256) {
                    nearDistanceCode[static_cast<size_t>(distance)] = static_cast<uint8_t>(code);
                } else {
                    farDistanceCode[static_cast<size_t>((distance - 1) >> 7)] =
                        static_cast<uint8_t>(code);
                }
            }
        }
    }
    int distanceCode(size_t distance) const {
        return distance <= 256 ? nearDistanceCode[distance] : farDistanceCode[(distance - 1) >> 7];
    }
};
const CodeTables codeTables;

// Bits least significant first, as deflate packs them. Eight bytes are stored every time and the
// pointer moves past the whole ones, so the buffer needs eight bytes to spare after the stream.
struct BitWriter {
    uint8_t* out;
    uint64_t bits = 0;
    int count = 0; // below 8 between calls
    // At most 56 bits at once.
    void put(uint64_t value, int width) {
        bits |= value << count;
        count += width;
        std::memcpy(out, &bits, 8);
        out += count >> 3;
        bits >>= count & ~7;
        count &= 7;
    }
    void finish() {
        if (count > 0) {
            *out++ = static_cast<uint8_t>(bits);
        }
    }
};

// Huffman code lengths of at most maxBits for these counts, 0 for symbols never used. A code
// always has two symbols at least, as some decoders require. The symbols are sorted by count once;
// the nodes made from them come in order of weight too, so the two lightest are always at the
// front of one list or the other.
void codeLengths(const uint32_t* counts, int symbols, int maxBits, uint8_t* lengths) {
    const int most = literalLengthSymbols;
    uint32_t weights[most];
    std::copy(counts, counts + symbols, weights);
    for (;;) {
        int leaves[most];
        int leafCount = 0;
        for (int s = 0; s < symbols; ++s) {
            if (weights[s] > 0) {
                leaves[leafCount++] = s;
            }
        }
        std::fill(lengths, lengths + symbols, 0);
        if (leafCount < 2) {
            const int used = leafCount == 0 ? 0 : leaves[0];
            lengths[used] = 1;
            lengths[used == 0 ? 1 : 0] = 1;
            return;
        }
        std::sort(leaves, leaves + leafCount, [&](int a, int b) {
            return weights[a] < weights[b] || (weights[a] == weights[b] && a < b);
        });
        // Node k of the tree: a leaf below leafCount, in sorted order; made nodes after them.
        uint64_t weight[2 * most];
        int parent[2 * most];
        for (int k = 0; k < leafCount; ++k) {
            weight[k] = weights[leaves[k]];
        }
        int nextLeaf = 0, nextMade = leafCount, made = leafCount;
        auto lightest = [&] {
            const bool leaf =
                nextLeaf < leafCount && (nextMade == made || weight[nextLeaf] <= weight[nextMade]);
            return leaf ? nextLeaf++ : nextMade++;
        };
        while (made < 2 * leafCount - 1) {
            const int a = lightest(), b = lightest();
            parent[a] = parent[b] = made;
            weight[made++] = weight[a] + weight[b];
        }
        // Made nodes have higher numbers than their children, so depths follow from the root down.
        int depth[2 * most];
        depth[made - 1] = 0;
        int deepest = 0;
        for (int node = made - 2; node >= 0; --node) {
            depth[node] = depth[parent[node]] + 1;
            deepest = std::max(deepest, depth[node]);
        }
        if (deepest <= maxBits) {
            for (int k = 0; k < leafCount; ++k) {
                lengths[leaves[k]] = static_cast<uint8_t>(depth[k]);
            }
            return;
        }
        // Too deep: flatter counts give a shallower tree, and no used symbol loses its code.
        for (int s = 0; s < symbols; ++s) {
            weights[s] = weights[s] > 0 ? (weights[s] >> 1) | 1 : 0;
        }
    }
}

// Canonical codes from their lengths, bit-reversed to be written least significant bit first.
void canonicalCodes(const uint8_t* lengths, int symbols, uint16_t* codes) {
    int perLength[16] = {};
    for (int s = 0; s < symbols; ++s) {
        ++perLength[lengths[s]];
    }
    perLength[0] = 0;
    int nextCode[16] = {};
    for (int bits = 1, code = 0; bits < 16; ++bits) {
        code = (code + perLength[bits - 1]) << 1;
        nextCode[bits] = code;
    }
    for (int s = 0; s < symbols; ++s) {
        int code = lengths[s] > 0 ? nextCode[lengths[s]]++ : 0;
        int reversed = 0;
        for (int b = 0; b < lengths[s]; ++b, code >>= 1) {
            reversed = (reversed << 1) | (code & 1);
        }
        codes[s] = static_cast<uint16_t>(reversed);
    }
}

// A match of the stream. Its low 10 bits hold 256 plus its length; above them are the distance
// code and then that code's extra bits.
using Token = uint32_t;

Token matchToken(size_t length, size_t distance, int distanceCode) {
    return static_cast<Token>((256 + length) | (static_cast<size_t>(distanceCode) << 10) |
                              ((distance - distanceBase[distanceCode]) << 15));
}

// A match and how many literals come before it. The literals themselves are kept apart, a byte
// each, so that a run of them is gathered and written several at a time.
struct Sequence {
    uint32_t literals;
    Token match;
};

// Symbol counts of one block, end of block included; its literals are counted when it is written.
struct BlockCounts {
    uint32_t literalLength[literalLengthSymbols] = {};
    uint32_t distance[distanceSymbols] = {};
};

// The block's header: its type, then both code tables as code lengths, themselves run-length
// coded with symbols 16 (the last length again), 17 and 18 (zeros) and Huffman coded.
void writeHeader(BitWriter& bits, const uint8_t* literalLengths, const uint8_t* distanceLengths,
                 bool last) {
    int literalsSent = literalLengthSymbols;
    while (literalsSent > 257 && literalLengths[literalsSent - 1] == 0) {
        --literalsSent;
    }
    int distancesSent = distanceSymbols;
    while (distancesSent > 1 && distanceLengths[distancesSent - 1] == 0) {
        --distancesSent;
    }
    uint8_t lengths[literalLengthSymbols + distanceSymbols];
    std::memcpy(lengths, literalLengths, static_cast<size_t>(literalsSent));
    std::memcpy(lengths + literalsSent, distanceLengths, static_cast<size_t>(distancesSent));
    const int total = literalsSent + distancesSent;

    struct Run {
        uint8_t symbol, extra;
    };
    std::vector<Run> runs;
    for (int at = 0; at < total;) {
        const uint8_t value = lengths[at];
        int left = 1;
        while (at + left < total && lengths[at + left] == value) {
            ++left;
        }
        at += left;
        if (value == 0) {
            for (; left >= 11; left -= std::min(left, 138)) {
                runs.push_back({18, static_cast<uint8_t>(std::min(left, 138) - 11)});
            }
            if (left >= 3) {
                runs.push_back({17, static_cast<uint8_t>(left - 3)});
                left = 0;
            }
        } else {
            runs.push_back({value, 0});
            for (--left; left >= 3; left -= std::min(left, 6)) {
                runs.push_back({16, static_cast<uint8_t>(std::min(left, 6) - 3)});
            }
        }
        for (; left > 0; --left) {
            runs.push_back({value, 0});
        }
    }
    uint32_t runCounts[19] = {};
    for (const Run& run : runs) {
        ++runCounts[run.symbol];
    }
    uint8_t runLengths[19];
    uint16_t runCodes[19];
    codeLengths(runCounts, 19, 7, runLengths);
    canonicalCodes(runLengths, 19, runCodes);
    int runLengthsSent = 19;
    while (runLengthsSent > 4 && runLengths[codeLengthOrder[runLengthsSent - 1]] == 0) {
        --runLengthsSent;
    }

    bits.put(last ? 1 : 0, 1);
    bits.put(2, 2); // dynamic Huffman codes
    bits.put(static_cast<uint64_t>(literalsSent - 257), 5);
    bits.put(static_cast<uint64_t>(distancesSent - 1), 5);
    bits.put(static_cast<uint64_t>(runLengthsSent - 4), 4);
    for (int i = 0; i < runLengthsSent; ++i) {
        bits.put(runLengths[codeLengthOrder[i]], 3);
    }
    static const int runExtraBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
    for (const Run& run : runs) {
        bits.put(runCodes[run.symbol] | static_cast<uint64_t>(run.extra) << runLengths[run.symbol],
                 runLengths[run.symbol] + runExtraBits[run.symbol]);
    }
}

// Literals three at a time: at most 45 bits. Inlined into the block's loop, where most runs are
// a dozen literals or so, and a call for each costs as much as a few of them.
__attribute__((always_inline)) inline void writeLiterals(BitWriter& bits, const uint8_t* literals,
                                                         size_t count, const uint32_t* codes,
                                                         const uint8_t* widths) {
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const int first = widths[literals[i]], second = widths[literals[i + 1]];
        bits.put(codes[literals[i]] | static_cast<uint64_t>(codes[literals[i + 1]]) << first |
                     static_cast<uint64_t>(codes[literals[i + 2]]) << (first + second),
                 first + second + widths[literals[i + 2]]);
    }
    for (; i < count; ++i) {
        bits.put(codes[literals[i]], widths[literals[i]]);
    }
}

// Four tallies in turn: a byte that repeats would otherwise wait on its own last count.
void countLiterals(const uint8_t* literals, size_t count, BlockCounts& counts) {
    uint32_t tallies[4][256] = {};
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        ++tallies[0][literals[i]];
        ++tallies[1][literals[i + 1]];
        ++tallies[2][literals[i + 2]];
        ++tallies[3][literals[i + 3]];
    }
    for (; i < count; ++i) {
        ++tallies[0][literals[i]];
    }
    for (int byte = 0; byte < 256; ++byte) {
        counts.literalLength[byte] =
            tallies[0][byte] + tallies[1][byte] + tallies[2][byte] + tallies[3][byte];
    }
}

void writeBlock(BitWriter& bits, const Sequence* sequences, size_t count, const uint8_t* literals,
                size_t literalCount, BlockCounts& counts, bool last) {
    countLiterals(literals, literalCount, counts);
    counts.literalLength[endOfBlock] = 1;
    // A decoder wants a distance code even in a block of literals alone.
    if (std::all_of(counts.distance, counts.distance + distanceSymbols,
                    [](uint32_t n) { return n == 0; })) {
        counts.distance[0] = 1;
    }
    uint8_t literalLengths[literalLengthSymbols], distanceLengths[distanceSymbols];
    uint16_t literalCodes[literalLengthSymbols], distanceCodes[distanceSymbols];
    codeLengths(counts.literalLength, literalLengthSymbols, 15, literalLengths);
    codeLengths(counts.distance, distanceSymbols, 15, distanceLengths);
    canonicalCodes(literalLengths, literalLengthSymbols, literalCodes);
    canonicalCodes(distanceLengths, distanceSymbols, distanceCodes);
    writeHeader(bits, literalLengths, distanceLengths, last);

    // A literal's code, or a match length's code with its extra bits, by the token's low bits.
    uint32_t valueBits[256 + maxMatch + 1];
    uint8_t valueWidth[256 + maxMatch + 1];
    for (int byte = 0; byte < 256; ++byte) {
        valueBits[byte] = literalCodes[byte];
        valueWidth[byte] = literalLengths[byte];
    }
    for (size_t length = minMatch; length <= maxMatch; ++length) {
        const int code = codeTables.lengthCode[length];
        const int symbol = 257 + code;
        valueBits[256 + length] =
            literalCodes[symbol] | static_cast<uint32_t>(length - lengthBase[code])
                                       << literalLengths[symbol];
        valueWidth[256 + length] = static_cast<uint8_t>(literalLengths[symbol] + lengthExtra[code]);
    }
    const uint8_t* literal = literals;
    for (size_t i = 0; i < count; ++i) {
        writeLiterals(bits, literal, sequences[i].literals, valueBits, valueWidth);
        literal += sequences[i].literals;
        const Token match = sequences[i].match;
        const uint32_t value = match & 0x3FF;
        const uint32_t code = (match >> 10) & 31;
        const uint64_t distancePart = distanceCodes[code] | (match >> 15) << distanceLengths[code];
        bits.put(valueBits[value] | distancePart << valueWidth[value],
                 valueWidth[value] + distanceLengths[code] + distanceExtra[code]);
    }
    writeLiterals(bits, literal, static_cast<size_t>(literals + literalCount - literal), valueBits,
                  valueWidth);
    bits.put(literalCodes[endOfBlock], literalLengths[endOfBlock]);
}

uint32_t load32(const uint8_t* at) {
    uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

// How many of the first limit bytes at a and b agree.
size_t sameBytes(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
#if defined(__x86_64__)
    for (; n + 16 <= limit; n += 16) {
        const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + n)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + n)))));
        if (equal != 0xFFFF) {
            return n + static_cast<size_t>(__builtin_ctz(~equal));
        }
    }
#endif
    for (; n + 8 <= limit; n += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
            return n + static_cast<size_t>(__builtin_ctzll(x ^ y) >> 3);
        }
    }
    while (n < limit && a[n] == b[n]) {
        ++n;
    }
    return n;
}

// A stream being made: its bits so far, and the block being gathered.
struct Stream {
    BitWriter bits;
    Sequence* sequences; // room for a block's
    uint8_t* literals;   // room for a block's, and sixteen bytes to spare
    BlockCounts counts;
    size_t count = 0;
    size_t literalCount = 0;
    size_t literalsMatched = 0; // those before the block's last match
};

void flushBlock(Stream& stream, bool last) {
    writeBlock(stream.bits, stream.sequences, stream.count, stream.literals, stream.literalCount,
               stream.counts, last);
    stream.counts = BlockCounts();
    stream.count = 0;
    stream.literalCount = 0;
    stream.literalsMatched = 0;
}

// A block holds blockSymbols at most; this many more fit in the one being gathered.
size_t symbolsLeft(const Stream& stream) {
    return blockSymbols - stream.count - stream.literalCount;
}

void addLiteral(Stream& stream, uint8_t byte) {
    stream.literals[stream.literalCount++] = byte;
}

#if defined(__x86_64__)
// Which of sixteen places, one a bit, start four bytes equal to those distance bytes back. Only
// the first thirteen bits mean anything: the others have fewer than four bytes to compare.
unsigned fourEqual(__m128i here, const uint8_t* back) {
    const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(here, _mm_loadu_si128(reinterpret_cast<const __m128i*>(back)))));
    return equal & (equal >> 1) & (equal >> 2) & (equal >> 3);
}
#endif

// Tokens for data[at, end), looking back as far as data[0]; a pixel or row too long for the
// window is 0 and not looked back on. Stops where too few bytes are left for a match, and
// returns where that is.
size_t gather(Stream& stream, const uint8_t* data, size_t at, size_t end, size_t before,
              size_t above) {
    // A place not looked back on is replaced by the byte before, which is looked at anyway. From
    // the farthest place on, every one has bytes to look back on, and the loop checks no bounds.
    before = before > 0 ? before : 1;
    above = above > 0 ? above : 1;
    const size_t farthest = std::max(before, above);
    while (at + minMatch <= end) {
        if (symbolsLeft(stream) == 0) {
            flushBlock(stream, false);
        }
#if defined(__x86_64__)
        // Where no place matches, and in the demo's frames most literals come in runs, thirteen
        // places are looked at at once: up to the first that matches, all are literals.
        if (at >= farthest && at + 16 <= end) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
            const unsigned matching =
                (fourEqual(here, data + at - before) | fourEqual(here, data + at - above) |
                 fourEqual(here, data + at - 1)) &
                0x1FFF;
            const size_t literals = std::min(
                matching ? static_cast<size_t>(__builtin_ctz(matching)) : 13, symbolsLeft(stream));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(stream.literals + stream.literalCount),
                             here);
            stream.literalCount += literals;
            at += literals;
            if (!matching || symbolsLeft(stream) == 0) {
                continue;
            }
        }
#endif
        const uint32_t word = load32(data + at);
        size_t from = at;
        if (at >= farthest) {
            if (load32(data + at - before) == word) {
                from = at - before;
            } else if (load32(data + at - above) == word) {
                from = at - above;
            } else if (load32(data + at - 1) == word) {
                from = at - 1;
            }
        } else if (at >= before && load32(data + at - before) == word) {
            from = at - before;
        } else if (at >= above && load32(data + at - above) == word) {
            from = at - above;
        } else if (at >= 1 && load32(data + at - 1) == word) {
            from = at - 1;
        }
        if (from < at) {
            const size_t length = minMatch + sameBytes(data + at + minMatch, data + from + minMatch,
                                                       std::min(maxMatch, end - at) - minMatch);
            const int distanceCode = codeTables.distanceCode(at - from);
            const size_t literals = stream.literalCount - stream.literalsMatched;
            stream.literalsMatched = stream.literalCount;
            stream.sequences[stream.count++] = {static_cast<uint32_t>(literals),
                                                matchToken(length, at - from, distanceCode)};
            ++stream.counts.literalLength[257 + codeTables.lengthCode[length]];
            ++stream.counts.distance[distanceCode];
            at += length;
        } else {
            addLiteral(stream, data[at]);
            ++at;
        }
    }
    return at;
}

// The last bytes as literals, the last block, and the check value after it. Returns the length
// of the stream that starts two bytes before the bits.
size_t finishStream(Stream& stream, const uint8_t* data, size_t at, size_t end, uint32_t check,
                    uint8_t* start) {
    for (; at < end; ++at) {
        if (symbolsLeft(stream) == 0) {
            flushBlock(stream, false);
        }
        addLiteral(stream, data[at]);
    }
    flushBlock(stream, true);
    stream.bits.finish();
    size_t length = static_cast<size_t>(stream.bits.out - start);
    for (int shift = 24; shift >= 0; shift -= 8) {
        start[length++] = static_cast<uint8_t>(check >> shift);
    }
    return length;
}

// Room for the stream of size bytes, and its header written.
Stream startStream(size_t size, std::vector<uint8_t>& buffer, std::vector<Sequence>& sequences,
                   std::vector<uint8_t>& literals) {
    // A literal takes at most 15 bits and a match of 4 bytes or more at most 48; a block's header
    // is under 600 bytes; then the check value and the bit writer's eight spare bytes.
    const size_t bound = 2 + 2 * size + (size / blockSymbols + 1) * 600 + 4 + 8;
    if (buffer.size() < bound) {
        buffer.resize(bound);
    }
    sequences.resize(blockSymbols);
    literals.resize(blockSymbols + 16);
    buffer[0] = 0x78; // deflate with a 32 KiB window
    buffer[1] = 0x01; // fastest compression; the header's check bits
    return Stream{BitWriter{buffer.data() + 2}, sequences.data(), literals.data(), BlockCounts()};
}

#if defined(__x86_64__)
// Four pixels a vector on processors that can pick its bytes, which nearly all can: a quarter of
// the instructions of the words below. Returns the pixels done, which leave two or more.
__attribute__((target("ssse3"))) size_t dropAlphaByVectors(const uint8_t* from, uint8_t* to,
                                                           size_t pixels) {
    const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    size_t x = 0;
    // Each store's last four bytes are overwritten by the next one.
    for (; x + 6 <= pixels; x += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 3 * x), _mm_shuffle_epi8(four, pick));
    }
    return x;
}
#endif

} // namespace

void rgbaToPngRows(const uint8_t* rgbaBottomUp, int width, int rowCount, uint8_t* rows) {
    const size_t pixels = static_cast<size_t>(width);
    uint8_t* to = rows;
    for (int y = 0; y < rowCount; ++y) {
        const uint8_t* from = rgbaBottomUp + static_cast<size_t>(rowCount - 1 - y) * 4 * pixels;
        *to++ = 0;
        size_t x = 0;
#if defined(__x86_64__)
        if (processorHasSsse3()) {
            x = dropAlphaByVectors(from, to, pixels);
        }
#endif
        // Two pixels a word, the first byte the lowest; each store's last two bytes are
        // overwritten by the next one.
        for (; x + 3 <= pixels; x += 2) {
            uint64_t pair;
            std::memcpy(&pair, from + 4 * x, 8);
            pair = (pair & 0xFFFFFF) | ((pair >> 8) & 0xFFFFFF000000);
            std::memcpy(to + 3 * x, &pair, 8);
        }
        for (; x < pixels; ++x) {
            std::memcpy(to + 3 * x, from + 4 * x, 3);
        }
        to += 3 * pixels;
    }
}

size_t compressZlib(const uint8_t* data, size_t size, size_t pixelBytes, size_t rowBytes,
                    std::vector<uint8_t>& buffer) {
    thread_local std::vector<Sequence> sequences;
    thread_local std::vector<uint8_t> literals;
    Stream stream = startStream(size, buffer, sequences, literals);
    const size_t at = gather(stream, data, 0, size, pixelBytes <= window ? pixelBytes : 0,
                             rowBytes <= window ? rowBytes : 0);
    return finishStream(stream, data, at, size, libdeflate_adler32(1, data, size), buffer.data());
}

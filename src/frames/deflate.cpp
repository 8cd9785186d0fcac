// A zlib stream for a PNG's rows, made quickly enough to keep pace with drawing.
//
// Rendered frames are mostly runs of one colour and shapes whose rows repeat, which show as the
// next four bytes equal to those a pixel before, a row above or a byte before; the rest are
// literals. So: greedy matching against those three places alone, with no table to keep, and
// each slice of symbols in a block with Huffman codes of its own. Each step compares the next 64
// bytes with all three places at once, a bit a byte, and reads from those bits both the literals
// up to the first match and the longest match there. Literals are kept apart from the matches,
// so that a run of them is copied a window at a time and written three at once. Measured on the
// demo's frames, a general-purpose compressor at its fastest level spends five times as long, for
// files some 8 % smaller.
#include "frames/deflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "frames/processor.h"

#if defined(__x86_64__)
#include <immintrin.h>
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
    std::array<uint16_t, maxMatch + 1> lengthSymbol{}; // the past-the-end symbol below minMatch
    std::array<uint8_t, 257> nearDistanceCode{};       // distances up to 256
    std::array<uint8_t, 256> farDistanceCode{};        // by (distance - 1) >> 7 beyond them
    CodeTables() {
        for (int code = 0; code < 29; ++code) {
            const int last = code == 28 ? 258 : lengthBase[code + 1] - 1;
            for (int length = lengthBase[code]; length <= last; ++length) {
                lengthCode[static_cast<size_t>(length)] = static_cast<uint8_t>(code);
            }
        }
        for (size_t length = 0; length <= maxMatch; ++length) {
            lengthSymbol[length] = static_cast<uint16_t>(
                length >= minMatch ? 257 + lengthCode[length] : literalLengthSymbols);
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
    // Each with one more at the end, where a match that is not kept is counted.
    uint32_t literalLength[literalLengthSymbols + 1] = {};
    uint32_t distance[distanceSymbols + 1] = {};
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
// a dozen literals or so, and a call for each costs as much as a few of them. The one or two
// left over, if any, go in one write with no branch on how many: runs of every length are
// common. That reads two bytes past the literals, which the buffer has to spare.
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
    const size_t left = count - i;
    const uint64_t keepFirst = -static_cast<uint64_t>(left > 0);
    const uint64_t keepSecond = -static_cast<uint64_t>(left > 1);
    const int first = widths[literals[i]] & static_cast<int>(keepFirst);
    bits.put((codes[literals[i]] & keepFirst) | (codes[literals[i + 1]] & keepSecond) << first,
             first + (widths[literals[i + 1]] & static_cast<int>(keepSecond)));
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

void writeBlock(BitWriter& stream, const Sequence* sequences, size_t count, const uint8_t* literals,
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
    writeHeader(stream, literalLengths, distanceLengths, last);

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
    // The symbols are written by a copy of the writer that nothing else can see, which the
    // compiler keeps in registers: the bytes it stores could otherwise be the writer's own.
    BitWriter bits = stream;
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
    stream = bits;
}

// A stream being made: its bits so far, and the block being gathered.
struct Stream {
    BitWriter bits;
    Sequence* sequences; // room for a block's
    uint8_t* literals;   // room for a block's, and a window of places to spare
    BlockCounts counts;
    size_t count = 0;
    size_t literalCount = 0;
    size_t literalsMatched = 0; // those before the block's last match
    uint32_t check = 1;         // of the input's first `checked` bytes
    size_t checked = 0;
};

// The check value is taken a block's input at a time, while those bytes are still in the cache.
void checkUpTo(Stream& stream, const uint8_t* data, size_t at) {
    stream.check = libdeflate_adler32(stream.check, data + stream.checked, at - stream.checked);
    stream.checked = at;
}

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

// How many of the first limit bytes at a and b agree, a word at a time.
size_t sameBytes(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
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

size_t trailingZeros(uint64_t bits) {
    return bits ? static_cast<size_t>(__builtin_ctzll(bits)) : 64;
}

// Places that start four bits set: bit i where bits i to i + 3 are. The last three are never set.
// Pairs first, then pairs of pairs: two steps where the plain way takes three.
uint64_t fourFrom(uint64_t bits) {
    const uint64_t pairs = bits & bits >> 1;
    return pairs & pairs >> 2;
}

// The places looked at together: which of 64 bytes equal those a distance back, a bit each, the
// first the lowest. One compare with AVX-512, two with AVX2, four with SSE2, eight words without.
const size_t placesAtOnce = 64;

struct WordPlaces {
    static uint64_t equal(const uint8_t* here, const uint8_t* back) {
        uint64_t places = 0;
        for (size_t word = 0; word < 8; ++word) {
            uint64_t x, y;
            std::memcpy(&x, here + 8 * word, 8);
            std::memcpy(&y, back + 8 * word, 8);
            const uint64_t differ = x ^ y;
            const uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
            // The top bit of each byte that is the same, then those eight bits gathered in order.
            const uint64_t same = ~(((differ & low7) + low7) | differ | low7);
            places |= ((same >> 7) * 0x0102040810204080ull) >> 56 << (8 * word);
        }
        return places;
    }
};

#if defined(__x86_64__)
struct Sse2Places {
    static uint64_t equal(const uint8_t* here, const uint8_t* back) {
        uint64_t places = 0;
        for (size_t part = 0; part < 4; ++part) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(here + 16 * part));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(back + 16 * part));
            places |= static_cast<uint64_t>(
                          static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))))
                      << (16 * part);
        }
        return places;
    }
};

struct Avx2Places {
    __attribute__((target("avx2"))) static uint64_t equal(const uint8_t* here,
                                                          const uint8_t* back) {
        const __m256i* a = reinterpret_cast<const __m256i*>(here);
        const __m256i* b = reinterpret_cast<const __m256i*>(back);
        const uint32_t low = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(a), _mm256_loadu_si256(b))));
        const uint32_t high = static_cast<uint32_t>(_mm256_movemask_epi8(
            _mm256_cmpeq_epi8(_mm256_loadu_si256(a + 1), _mm256_loadu_si256(b + 1))));
        return low | static_cast<uint64_t>(high) << 32;
    }
};

struct Avx512Places {
    __attribute__((target("avx512f,avx512bw"))) static uint64_t equal(const uint8_t* here,
                                                                      const uint8_t* back) {
        return _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(here), _mm512_loadu_si512(back));
    }
};
#endif

// The distances looked back on, and their codes.
struct LookBack {
    size_t distances[3]; // a byte, a pixel and a row
    size_t farthest;
    int distanceCodes[3];
    Token tokens[3]; // a match's token at each distance, its length 0
    LookBack(size_t before, size_t above)
        : distances{1, before > 0 ? before : 1, above > 0 ? above : 1},
          farthest(std::max(distances[1], distances[2])) {
        for (size_t i = 0; i < 3; ++i) {
            distanceCodes[i] = codeTables.distanceCode(distances[i]);
            tokens[i] = matchToken(0, distances[i], distanceCodes[i]) - 256;
        }
    }
};

// Keeps a match of `length` at look-back distance i, after the literals since the last one. One
// of length 0 is counted in the spare slots and not kept. The counts are the caller's, so that a
// loop can hold them in locals.
void keepMatch(Sequence* sequences, size_t& count, size_t literalCount, size_t& literalsMatched,
               BlockCounts& counts, const LookBack& back, size_t length, size_t i) {
    const bool matched = length > 0;
    sequences[count] = {static_cast<uint32_t>(literalCount - literalsMatched),
                        static_cast<Token>(256 + length) | back.tokens[i]};
    count += matched;
    literalsMatched = matched ? literalCount : literalsMatched;
    ++counts.literalLength[codeTables.lengthSymbol[length]];
    ++counts.distance[matched ? back.distanceCodes[i] : distanceSymbols];
}

// One place: the longest match at any of the distances it has bytes for, or a literal. For the
// first row and the last bytes, where a window does not fit. Returns the next place.
size_t gatherOne(Stream& stream, const uint8_t* data, size_t at, size_t end, const LookBack& back) {
    size_t length = 0, nearest = 0;
    for (size_t i = 0; i < 3; ++i) {
        const size_t d = back.distances[i];
        if (at >= d) {
            const size_t same = sameBytes(data + at, data + at - d, std::min(maxMatch, end - at));
            if (same > length) {
                length = same;
                nearest = i;
            }
        }
    }
    if (length < minMatch) {
        addLiteral(stream, data[at]);
        return at + 1;
    }
    keepMatch(stream.sequences, stream.count, stream.literalCount, stream.literalsMatched,
              stream.counts, back, length, nearest);
    return at + length;
}

// Windows of 64 places from `at` while they fit before `end` and in the block. Up to the first
// place that starts four bytes equal to those at a distance, all are literals; there the longest
// match is taken, the nearest where they tie, and most are measured by the same bits. There is no
// branch to mispredict but for matches longer than the window: where no place starts one, the
// window gives 61 literals and a match of length 0, which is not kept. The stream's counts are
// kept in locals, which the stores of literals cannot be taken to change. Returns the next place.
template <class Places>
size_t gatherWindows(Stream& stream, const uint8_t* data, size_t at, size_t end,
                     const LookBack& back) {
    Sequence* const sequences = stream.sequences;
    uint8_t* const literalBuffer = stream.literals;
    size_t count = stream.count, literalCount = stream.literalCount;
    size_t literalsMatched = stream.literalsMatched;
    while (at + placesAtOnce <= end && count + literalCount + placesAtOnce <= blockSymbols) {
        const uint8_t* here = data + at;
        // Fetched well ahead, where the place and the row above it will be soon.
        __builtin_prefetch(here + 1024);
        __builtin_prefetch(here + 1024 - back.distances[2]);
        uint64_t same[3];
        for (size_t i = 0; i < 3; ++i) {
            same[i] = Places::equal(here, here - back.distances[i]);
        }
        const uint64_t starts = fourFrom(same[0]) | fourFrom(same[1]) | fourFrom(same[2]);
        const size_t literals = trailingZeros(starts | uint64_t{1} << (placesAtOnce - 3));
        std::memcpy(literalBuffer + literalCount, here, placesAtOnce);
        literalCount += literals;
        at += literals;
        // The longest of the three runs, the nearest where they tie, chosen without a branch:
        // which one wins is as good as random.
        const size_t run0 = trailingZeros(~(same[0] >> literals));
        const size_t run1 = trailingZeros(~(same[1] >> literals));
        const size_t run2 = trailingZeros(~(same[2] >> literals));
        const size_t longer01 = std::max(run0, run1);
        const size_t nearest = run2 > longer01 ? 2 : static_cast<size_t>(run1 > run0);
        size_t length = std::max(longer01, run2);
        length = length >= minMatch ? length : 0;
        const size_t limit = std::min(maxMatch, end - at);
        if (length == placesAtOnce - literals) {
            const uint8_t* from = data + at - back.distances[nearest];
            for (uint64_t differ; length < limit && at + length + placesAtOnce <= end;
                 length += placesAtOnce) {
                __builtin_prefetch(data + at + length + 1024);
                if ((differ = ~Places::equal(data + at + length, from + length)) != 0) {
                    length += trailingZeros(differ);
                    break;
                }
            }
            if (length < limit && at + length + placesAtOnce > end) {
                length += sameBytes(data + at + length, from + length, limit - length);
            }
        }
        length = std::min(length, limit);
        keepMatch(sequences, count, literalCount, literalsMatched, stream.counts, back, length,
                  nearest);
        at += length;
    }
    stream.count = count;
    stream.literalCount = literalCount;
    stream.literalsMatched = literalsMatched;
    return at;
}

// Tokens for data[at, end), looking back as far as data[0]; a pixel or row too long for the
// window is 0 and not looked back on. Stops where too few bytes are left for a match, and
// returns where that is.
template <class Places>
size_t gatherWith(Stream& stream, const uint8_t* data, size_t at, size_t end, size_t before,
                  size_t above) {
    const LookBack back(before, above);
    while (at + minMatch <= end) {
        // Room for a window's literals and a match.
        if (symbolsLeft(stream) < placesAtOnce) {
            checkUpTo(stream, data, at);
            flushBlock(stream, false);
        }
        at = at >= back.farthest && at + placesAtOnce <= end
                 ? gatherWindows<Places>(stream, data, at, end, back)
                 : gatherOne(stream, data, at, end, back);
    }
    return at;
}

#if defined(__x86_64__)
__attribute__((target("avx512f,avx512bw,bmi,bmi2"), flatten)) size_t
gatherByAvx512(Stream& stream, const uint8_t* data, size_t at, size_t end, size_t before,
               size_t above) {
    return gatherWith<Avx512Places>(stream, data, at, end, before, above);
}
__attribute__((target("avx2,bmi,bmi2"), flatten)) size_t gatherByAvx2(Stream& stream,
                                                                      const uint8_t* data,
                                                                      size_t at, size_t end,
                                                                      size_t before, size_t above) {
    return gatherWith<Avx2Places>(stream, data, at, end, before, above);
}
#endif

size_t gather(Stream& stream, const uint8_t* data, size_t at, size_t end, size_t before,
              size_t above, VectorWidth widest) {
#if defined(__x86_64__)
    if (widest >= VectorWidth::avx512 && processorHasAvx512()) {
        return gatherByAvx512(stream, data, at, end, before, above);
    }
    if (widest >= VectorWidth::avx2 && processorHasAvx2()) {
        return gatherByAvx2(stream, data, at, end, before, above);
    }
    if (widest >= VectorWidth::ssse3) {
        return gatherWith<Sse2Places>(stream, data, at, end, before, above);
    }
#else
    (void)widest;
#endif
    return gatherWith<WordPlaces>(stream, data, at, end, before, above);
}

// The last bytes as literals, the last block, and the check value after it. Returns the length
// of the stream that starts two bytes before the bits.
size_t finishStream(Stream& stream, const uint8_t* data, size_t at, size_t end, uint8_t* start) {
    for (; at < end; ++at) {
        if (symbolsLeft(stream) == 0) {
            flushBlock(stream, false);
        }
        addLiteral(stream, data[at]);
    }
    checkUpTo(stream, data, end);
    flushBlock(stream, true);
    stream.bits.finish();
    size_t length = static_cast<size_t>(stream.bits.out - start);
    for (int shift = 24; shift >= 0; shift -= 8) {
        start[length++] = static_cast<uint8_t>(stream.check >> shift);
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
    literals.resize(blockSymbols + placesAtOnce);
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
#if defined(__x86_64__)
    const bool byVectors = processorHasSsse3();
#endif
    uint8_t* to = rows;
    for (int y = 0; y < rowCount; ++y) {
        const uint8_t* from = rgbaBottomUp + static_cast<size_t>(rowCount - 1 - y) * 4 * pixels;
        *to++ = 0;
        size_t x = 0;
#if defined(__x86_64__)
        if (byVectors) {
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
                    std::vector<uint8_t>& buffer, VectorWidth widest) {
    thread_local std::vector<Sequence> sequences;
    thread_local std::vector<uint8_t> literals;
    Stream stream = startStream(size, buffer, sequences, literals);
    const size_t at = gather(stream, data, 0, size, pixelBytes <= window ? pixelBytes : 0,
                             rowBytes <= window ? rowBytes : 0, widest);
    return finishStream(stream, data, at, size, buffer.data());
}

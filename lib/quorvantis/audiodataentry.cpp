#include "audiodataentry.h"

#include <QtEndian>
#include <array>

namespace {
// Sample byte to a 10-bit level centred on 512: fine steps near silence, coarse near full
// scale. 0xFF never occurs in sample data (it ends an entry).
constexpr std::array<quint16, 256> levels = {
    8,   31,  59,  85,  107, 128, 147, 164,  180, 195, 209, 222, 233, 244, 255, 264, 273, 282, 290,
    297, 304, 311, 318, 324, 330, 335, 341,  346, 351, 355, 360, 364, 368, 372, 376, 379, 383, 386,
    389, 392, 395, 398, 401, 404, 406, 409,  412, 414, 416, 419, 421, 423, 425, 427, 429, 431, 432,
    434, 436, 438, 439, 441, 442, 444, 445,  447, 448, 449, 451, 452, 453, 455, 456, 457, 458, 459,
    460, 461, 462, 463, 465, 466, 467, 468,  469, 470, 471, 472, 473, 474, 475, 476, 477, 478, 479,
    480, 481, 482, 483, 484, 485, 486, 487,  488, 489, 490, 491, 492, 493, 494, 495, 496, 497, 498,
    499, 500, 501, 502, 503, 504, 505, 506,  507, 508, 509, 510, 511, 512, 513, 514, 515, 516, 517,
    518, 519, 520, 521, 522, 523, 524, 525,  526, 527, 528, 529, 530, 531, 532, 533, 534, 535, 536,
    537, 538, 539, 540, 541, 542, 543, 544,  545, 546, 547, 548, 549, 550, 551, 552, 553, 554, 555,
    556, 557, 558, 560, 561, 562, 563, 564,  565, 566, 567, 568, 570, 571, 572, 574, 575, 576, 578,
    579, 581, 582, 584, 585, 587, 589, 591,  592, 594, 596, 598, 600, 602, 604, 606, 608, 611, 613,
    615, 618, 621, 623, 626, 629, 632, 635,  638, 642, 645, 649, 653, 657, 661, 665, 669, 674, 678,
    684, 689, 695, 701, 707, 713, 720, 727,  735, 743, 751, 760, 770, 780, 791, 803, 816, 830, 844,
    860, 878, 897, 917, 940, 965, 993, 1016, 0};

constexpr int trimBytes = 1500;
constexpr int wavHeaderSize = 44;

void putLE32(char *at, quint32 value)
{
    qToLittleEndian(value, at);
}

void putLE16(char *at, quint16 value)
{
    qToLittleEndian(value, at);
}

QByteArray waveHeader(quint32 sampleBytes)
{
    QByteArray header(wavHeaderSize, '\0');
    char *h = header.data();
    memcpy(h, "RIFF", 4);
    putLE32(h + 4, 36 + sampleBytes);
    memcpy(h + 8, "WAVE", 4);
    memcpy(h + 12, "fmt ", 4);
    putLE32(h + 16, 16);
    putLE16(h + 20, 1);
    putLE16(h + 22, 1);
    putLE32(h + 24, AudioDataEntry::sampleRate);
    putLE32(h + 28, AudioDataEntry::sampleRate * 2);
    putLE16(h + 32, 2);
    putLE16(h + 34, 16);
    memcpy(h + 36, "data", 4);
    putLE32(h + 40, sampleBytes);
    return header;
}
} // namespace

AudioDataEntry::AudioDataEntry(QDateTime dateTime, ulong absoluteAddress, QObject *parent)
    : DataEntry(Audio, dateTime, absoluteAddress, parent)
{}

void AudioDataEntry::onDataAvailable(QByteArray payload, bool finished)
{
    QByteArray samples(payload.size() * 2, Qt::Uninitialized);
    char *out = samples.data();
    for (const char byte : std::as_const(payload)) {
        const auto sample = qint16((int(levels[uchar(byte)]) - 512) * 63);
        qToLittleEndian(sample, out);
        out += 2;
    }
    if (!finished)
        return;

    // Clips long enough lose 750 samples at each end.
    if (samples.size() >= 2 * trimBytes)
        samples = samples.mid(trimBytes, samples.size() - 2 * trimBytes);
    m_rawData = samples;
    m_wavData = waveHeader(quint32(samples.size())) + samples;
    setLoaded(true);
    emit audioDataAvailable();
}
